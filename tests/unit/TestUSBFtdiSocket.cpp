#include "TransportBenchTest.h"

#include "USBFtdiBufferedSocket.h"
#include "USBFtdiSocket.h"

#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace {

const QByteArray kSocketBench = R"({"units": [
  {"chip": "FT232R",  "serial": "QZAH015010001", "location": 272},
  {"chip": "FT-X",    "serial": "QZBH025010004", "location": 288},
  {"chip": "FT2232H", "serial": "QZAH017010002", "location": 336},
  {"chip": "FT232H",  "serial": "QZAH019010003", "location": 352},
  {"chip": "FT232R",  "serial": "QZAH015010011", "eepromSerial": "", "location": 368},
  {"chip": "FT-X",    "serial": "QZAH015010012", "eepromSerial": "FT5XK2JQ", "location": 384},
  {"chip": "FT232H",  "serial": "QZAH019010013", "eepromProgrammed": false, "location": 400},
  {"chip": "FT4232H", "serial": "QZAH019010014", "location": 416},
  {"chip": "FT232R",  "serial": "QZAH015010015", "location": 432}
]})";

enum class Kind { Direct, DirectUart, Buffered };

std::shared_ptr<USBISocket> makeSocket(Kind kind, int position)
{
    if (kind == Kind::Buffered)
        return std::make_shared<USBFtdiBufferedSocket>(uint32_t(position));
    return std::make_shared<USBFtdiSocket>(uint32_t(position), kind == Kind::DirectUart ? USBFtdiSocket::UartMode : 0);
}

class USBFtdiSocketTest : public TransportBenchTest
{
protected:
    void SetUp() override { loadBench(kSocketBench); }

    // An open direct socket on a single-channel chip, with the 1000 ms time-outs set.
    std::shared_ptr<USBISocket> openDirect(const char* serial)
    {
        auto socket = makeSocket(Kind::Direct, listPosition(QString::fromLatin1(serial)));
        const USBResult result = socket->open(500000);
        EXPECT_TRUE(result.isSuccess()) << qPrintable(result.text());
        EXPECT_EQ(socket->applyTimeouts(), FT_OK);
        bench().takeConfigCallLines(serial, 0);
        bench().takeWireLogLines(serial);
        return socket;
    }
};

TEST_F(USBFtdiSocketTest, OpenConfiguresEachLinkKind)
{
    const QStringList uart8e1 = {QStringLiteral("FT_SetDataCharacteristics(8,0,2)"),
                                 QStringLiteral("FT_SetLatencyTimer(2)"),
                                 QStringLiteral("FT_SetUSBParameters(8192,256)"), QStringLiteral("FT_Purge(3)")};
    const QStringList channelAFifo = {QStringLiteral("FT_SetBitMode(255,0)"), QStringLiteral("FT_SetLatencyTimer(2)"),
                                      QStringLiteral("FT_SetUSBParameters(65536,0)"),
                                      QStringLiteral("FT_SetFlowControl(256,0,0)"), QStringLiteral("FT_Purge(3)")};
    struct Case
    {
        const char* name;
        const char* serial;
        const char* listed;
        int link;
        Kind kind;
        QStringList calls;
        int priority;
        qint64 minimumMs;
    };
    const Case cases[] = {
        {"FT232R flow A", "QZAH015010001", "QZAH015010001", 0, Kind::Direct,
         QStringList{QStringLiteral("FT_SetBaudRate(500000)"), QStringLiteral("FT_SetFlowControl(0,0,0)")} + uart8e1,
         QThread::InheritPriority, 0},
        {"FT-X flow B", "QZBH025010004", "QZBH025010004", 0, Kind::Direct,
         QStringList{QStringLiteral("FT_SetBaudRate(500000)"), QStringLiteral("FT_SetFlowControl(256,0,0)")} + uart8e1,
         QThread::InheritPriority, 0},
        {"FT2232H channel B UART", "QZAH017010002", "QZAH017010002B", 0, Kind::DirectUart,
         QStringList{QStringLiteral("FT_SetBitMode(255,0)"), QStringLiteral("FT_SetBaudRate(500000)"),
                     QStringLiteral("FT_SetFlowControl(0,0,0)")} + uart8e1,
         QThread::InheritPriority, 0},
        {"FT2232H channel A FIFO, buffered", "QZAH017010002", "QZAH017010002A", 1, Kind::Buffered, channelAFifo,
         QThread::TimeCriticalPriority, 0},
        {"FT2232H channel A FIFO, direct", "QZAH017010002", "QZAH017010002A", 1, Kind::Direct, channelAFifo,
         QThread::TimeCriticalPriority, 0},
        {"FT232H synchronous FIFO", "QZAH019010003", "QZAH019010003", 0, Kind::Direct,
         {QStringLiteral("FT_SetBitMode(255,0)"), QStringLiteral("FT_SetBitMode(255,64)"),
          QStringLiteral("FT_SetLatencyTimer(2)"), QStringLiteral("FT_SetUSBParameters(65536,65536)"),
          QStringLiteral("FT_SetFlowControl(256,0,0)"), QStringLiteral("FT_Purge(3)")},
         QThread::TimeCriticalPriority, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int position = listPosition(QString::fromLatin1(c.listed));
        ASSERT_GE(position, 0);
        auto socket = makeSocket(c.kind, position);
        bench().takeConfigCallLines(c.serial, c.link);
        EXPECT_EQ(socket->threadPriority(), QThread::InheritPriority);

        QElapsedTimer timer;
        timer.start();
        const USBResult result = socket->open(500000);
        const qint64 elapsed = timer.elapsed();

        EXPECT_TRUE(result.isSuccess()) << qPrintable(result.text());
        EXPECT_EQ(result.code(), 0);
        EXPECT_TRUE(socket->isOpen());
        EXPECT_EQ(socket->deviceIndex(), uint32_t(position));
        EXPECT_EQ(bench().takeConfigCallLines(c.serial, c.link), c.calls);
        EXPECT_EQ(socket->threadPriority(), c.priority);
        EXPECT_GE(elapsed, c.minimumMs) << "the chip needs its settling time before synchronous FIFO mode";

        EXPECT_EQ(socket->applyTimeouts(), FT_OK);
        EXPECT_EQ(socket->applyTimeoutsAgain(), FT_OK);
        const QString timeouts = c.kind == Kind::Buffered ? QStringLiteral("FT_SetTimeouts(200,200)")
                                                          : QStringLiteral("FT_SetTimeouts(1000,1000)");
        EXPECT_EQ(bench().takeConfigCallLines(c.serial, c.link), (QStringList{timeouts, timeouts}));

        EXPECT_TRUE(socket->close().isSuccess());
        EXPECT_FALSE(socket->isOpen());
        // Closing keeps the priority the link asked for.
        EXPECT_EQ(socket->threadPriority(), c.priority);
    }
}

TEST_F(USBFtdiSocketTest, RefusesChipsWithoutOneOfOurSerialNumbers)
{
    struct Case
    {
        const char* name;
        const char* listed;
        Kind kind;
        int failEepromReadsOf; // 0: no fault
    };
    const Case cases[] = {
        {"blank EEPROM serial", "QZAH015010011", Kind::Direct, 0},
        {"foreign EEPROM serial", "QZAH015010012", Kind::Direct, 0},
        {"unprogrammed FT232H EEPROM", "QZAH019010013", Kind::Direct, 0},
        {"FT4232H, no serial read at all", "QZAH019010014A", Kind::Direct, 0},
        {"failing EEPROM read", "QZAH015010015", Kind::Direct, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int position = listPosition(QString::fromLatin1(c.listed));
        ASSERT_GE(position, 0);
        if (c.failEepromReadsOf) {
            ASSERT_EQ(bench().failEepromReads(c.listed, c.failEepromReadsOf), 0);
        }
        auto socket = makeSocket(c.kind, position);
        const USBResult result = socket->open(500000);
        EXPECT_EQ(result.type(), 2);
        EXPECT_EQ(result.category(), 3);
        EXPECT_EQ(result.code(), 0);
        EXPECT_EQ(result.message(), QStringLiteral("Unknown USB serial number"));
        EXPECT_FALSE(socket->isOpen());
        EXPECT_EQ(bench().openHandleCount(), 0) << "the refused handle must be closed";
    }
}

TEST_F(USBFtdiSocketTest, OpenFailuresLeaveNothingOpen)
{
    const int position = listPosition(QStringLiteral("QZAH015010001"));
    USBFtdiSocket socket{uint32_t(position)};

    ASSERT_EQ(bench().failOpens("QZAH015010001", 1), 0);
    USBResult result = socket.open(500000);
    EXPECT_EQ(result.type(), 2);
    EXPECT_EQ(result.category(), 0);
    EXPECT_EQ(result.code(), int(FT_DEVICE_NOT_OPENED));
    EXPECT_FALSE(socket.isOpen());

    USBFtdiSocket beyondTheList(1000);
    EXPECT_FALSE(beyondTheList.open(500000).isSuccess());
    EXPECT_FALSE(beyondTheList.isOpen());
    EXPECT_EQ(bench().openHandleCount(), 0);

    // A second open of an open socket is refused and keeps the first connection.
    ASSERT_TRUE(socket.open(500000).isSuccess());
    result = socket.open(500000);
    EXPECT_EQ(result.message(), QStringLiteral("Device already open"));
    EXPECT_EQ(result.category(), 3);
    EXPECT_TRUE(socket.isOpen());
    EXPECT_EQ(bench().openHandleCount(), 1);
    socket.close();
}

TEST_F(USBFtdiSocketTest, ClosedSocketThrowsDeviceNotOpen)
{
    struct Case
    {
        const char* name;
        std::function<void(USBISocket&)> operation;
    };
    QByteArray array;
    char buffer[8];
    const Case cases[] = {
        {"writeByte", [](USBISocket& s) { s.writeByte(1); }},
        {"write", [](USBISocket& s) { s.write(QByteArrayLiteral("abc")); }},
        {"write of nothing", [](USBISocket& s) { s.write(QByteArray()); }},
        {"read", [](USBISocket& s) { s.read(4); }},
        {"readInto", [&](USBISocket& s) { s.readInto(buffer, 4); }},
        {"readAvailable", [&](USBISocket& s) { s.readAvailable(array, 10); }},
    };
    USBFtdiSocket socket(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.operation(socket);
            ADD_FAILURE() << "no failure thrown";
        } catch (const USBResult& result) {
            EXPECT_EQ(result.message(), QStringLiteral("Device not open"));
            EXPECT_EQ(result.type(), 2);
            EXPECT_EQ(result.category(), 3);
        }
    }
    EXPECT_TRUE(array.isEmpty());

    // The queue query goes to the D2XX library all the same and throws its status.
    try {
        socket.bytesAvailable();
        ADD_FAILURE() << "no failure thrown";
    } catch (const USBResult& result) {
        EXPECT_EQ(result.category(), 0);
        EXPECT_EQ(result.code(), int(FT_INVALID_HANDLE));
    }
    const USBResult status = socket.status();
    EXPECT_EQ(status.type(), 1);
    EXPECT_FALSE(status.isSuccess());
    EXPECT_TRUE(socket.close().isSuccess());
    socket.cyclePortAndClose();
    EXPECT_FALSE(socket.isOpen());
}

TEST_F(USBFtdiSocketTest, MovesExactBytesAndReportsQueues)
{
    const char* serial = "QZAH015010001";
    auto socket = openDirect(serial);

    // Writes reach the unit byte for byte; an empty write makes no D2XX call.
    EXPECT_EQ(socket->write(QByteArray()), 0);
    socket->writeByte(0xA5);
    EXPECT_EQ(socket->write(QByteArray::fromHex("0102ff")), 3);
    const QStringList log = bench().takeWireLogLines(serial);
    EXPECT_TRUE(log.contains(QStringLiteral("out 0: a5")));
    EXPECT_TRUE(log.contains(QStringLiteral("out 0: 0102ff")));
    EXPECT_EQ(log.filter(QStringLiteral("out ")).size(), 2);
    bench().takeWireLogLines(serial);
    socket->purge();

    // Reads return exactly what the unit sent.
    ASSERT_EQ(bench().sendUnsolicited(serial, 0, QByteArray::fromHex("10203040506070")), 0);
    EXPECT_EQ(socket->bytesAvailable(), 7);
    const USBResult status = socket->status();
    EXPECT_TRUE(status.isSuccess());
    EXPECT_EQ(status.category(), 7) << "receive queue";
    EXPECT_EQ(status.code(), 0) << "transmit queue";
    EXPECT_EQ(socket->read(2), QByteArray::fromHex("1020"));
    char buffer[3] = {};
    socket->readInto(buffer, 3);
    EXPECT_EQ(QByteArray(buffer, 3), QByteArray::fromHex("304050"));
    EXPECT_EQ(socket->read(0), QByteArray());
    EXPECT_EQ(socket->bytesAvailable(), 2);

    // A purge empties the receive queue.
    EXPECT_EQ(socket->purge(), FT_OK);
    EXPECT_EQ(socket->bytesAvailable(), 0);

    // A clone shares the connection; closing the original ends it for both.
    auto clone = socket->clone();
    EXPECT_TRUE(clone->isOpen());
    ASSERT_EQ(bench().sendUnsolicited(serial, 0, QByteArray::fromHex("99")), 0);
    EXPECT_EQ(clone->read(1), QByteArray::fromHex("99"));
    socket->close();
    EXPECT_EQ(bench().openHandleCount(), 0);
}

TEST_F(USBFtdiSocketTest, ReadAvailableTakesAtMostTenThousandBytes)
{
    const char* serial = "QZAH015010001";
    auto socket = openDirect(serial);
    QByteArray payload(12500, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7);
    ASSERT_EQ(bench().sendUnsolicited(serial, 0, payload), 0);

    QByteArray array("xy");
    EXPECT_EQ(socket->readAvailable(array, 50), 48) << "only up to the wanted total size";
    EXPECT_EQ(array, QByteArray("xy") + payload.left(48));

    array.clear();
    EXPECT_EQ(socket->readAvailable(array, 100000), 10000);
    EXPECT_EQ(array, payload.mid(48, 10000));
    EXPECT_EQ(socket->readAvailable(array, 100000), 2452);
    EXPECT_EQ(array, payload.mid(48));
    EXPECT_EQ(socket->readAvailable(array, 100000), 0) << "nothing waiting";
    EXPECT_EQ(socket->readAvailable(array, 10), 0) << "the array is already beyond the wanted size";
    socket->close();
}

TEST_F(USBFtdiSocketTest, ShortReadTimesOut)
{
    const char* serial = "QZAH015010001";
    auto socket = openDirect(serial);
    ASSERT_EQ(bench().sendUnsolicited(serial, 0, QByteArray::fromHex("0102")), 0);

    QElapsedTimer timer;
    timer.start();
    try {
        socket->read(5);
        ADD_FAILURE() << "no failure thrown";
    } catch (const USBResult& result) {
        EXPECT_EQ(result.message(), QStringLiteral("Communication timed out"));
        EXPECT_EQ(result.type(), 2);
        EXPECT_EQ(result.category(), 3);
    }
    EXPECT_GE(timer.elapsed(), 900) << "the read waits for its 1000 ms time-out";
    EXPECT_LT(timer.elapsed(), 5000);
    // The socket stays open after a thrown failure, and the two bytes are gone.
    EXPECT_TRUE(socket->isOpen());
    EXPECT_EQ(socket->bytesAvailable(), 0);
    socket->close();
}

#ifndef QT_NO_DEBUG
TEST(USBFtdiSocketDeathTest, ProgrammingErrorsAssert)
{
    USBFtdiSocket socket(0);
    EXPECT_DEATH(socket.read(4096), "count < 4096");
    EXPECT_DEATH(socket.setBlockSize(512), "USBFtdiSocket");
}
#endif

} // namespace
