#include "TransportBenchTest.h"

#include "USBFtdiBufferedSocket.h"
#include "USBFtdiSocket.h"

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
    return std::make_shared<USBFtdiSocket>(
        uint32_t(position), kind == Kind::DirectUart ? USBFtdiSocket::UartMode : 0);
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
        QStringLiteral("FT_SetLatencyTimer(2)"), QStringLiteral("FT_SetUSBParameters(8192,256)"),
        QStringLiteral("FT_Purge(3)")};
    const QStringList channelAFifo = {QStringLiteral("FT_SetBitMode(255,0)"),
        QStringLiteral("FT_SetLatencyTimer(2)"), QStringLiteral("FT_SetUSBParameters(65536,0)"),
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
    };
    const Case cases[] = {
        {"FT232R flow A", "QZAH015010001", "QZAH015010001", 0, Kind::Direct,
            QStringList{QStringLiteral("FT_SetBaudRate(500000)"),
                QStringLiteral("FT_SetFlowControl(0,0,0)")}
                + uart8e1,
            QThread::InheritPriority},
        {"FT-X flow B", "QZBH025010004", "QZBH025010004", 0, Kind::Direct,
            QStringList{QStringLiteral("FT_SetBaudRate(500000)"),
                QStringLiteral("FT_SetFlowControl(256,0,0)")}
                + uart8e1,
            QThread::InheritPriority},
        {"FT2232H channel B UART", "QZAH017010002", "QZAH017010002B", 0, Kind::DirectUart,
            QStringList{QStringLiteral("FT_SetBitMode(255,0)"),
                QStringLiteral("FT_SetBaudRate(500000)"),
                QStringLiteral("FT_SetFlowControl(0,0,0)")}
                + uart8e1,
            QThread::InheritPriority},
        {"FT2232H channel A FIFO, buffered", "QZAH017010002", "QZAH017010002A", 1, Kind::Buffered,
            channelAFifo, QThread::TimeCriticalPriority},
        {"FT232H synchronous FIFO", "QZAH019010003", "QZAH019010003", 0, Kind::Direct,
            {QStringLiteral("FT_SetBitMode(255,0)"), QStringLiteral("FT_SetBitMode(255,64)"),
                QStringLiteral("FT_SetLatencyTimer(2)"),
                QStringLiteral("FT_SetUSBParameters(65536,65536)"),
                QStringLiteral("FT_SetFlowControl(256,0,0)"), QStringLiteral("FT_Purge(3)")},
            QThread::TimeCriticalPriority},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int position = listPosition(QString::fromLatin1(c.listed));
        ASSERT_GE(position, 0);
        auto socket = makeSocket(c.kind, position);
        bench().takeConfigCallLines(c.serial, c.link);
        EXPECT_EQ(socket->threadPriority(), QThread::InheritPriority);

        const USBResult result = socket->open(500000);

        EXPECT_TRUE(result.isSuccess()) << qPrintable(result.text());
        EXPECT_TRUE(socket->isOpen());
        EXPECT_EQ(bench().takeConfigCallLines(c.serial, c.link), c.calls);
        EXPECT_EQ(socket->threadPriority(), c.priority);

        EXPECT_EQ(socket->applyTimeouts(), FT_OK);
        EXPECT_EQ(socket->applyTimeoutsAgain(), FT_OK);
        const QString timeouts = c.kind == Kind::Buffered
            ? QStringLiteral("FT_SetTimeouts(200,200)")
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
        bool failEepromRead;
    };
    const Case cases[] = {
        {"blank EEPROM serial", "QZAH015010011", false},
        {"foreign EEPROM serial", "QZAH015010012", false},
        {"unprogrammed FT232H EEPROM", "QZAH019010013", false},
        {"FT4232H, no serial read at all", "QZAH019010014A", false},
        {"failing EEPROM read", "QZAH015010015", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int position = listPosition(QString::fromLatin1(c.listed));
        ASSERT_GE(position, 0);
        if (c.failEepromRead) {
            ASSERT_EQ(bench().failEepromReads(c.listed, 1), 0);
        }
        auto socket = makeSocket(Kind::Direct, position);
        const USBResult result = socket->open(500000);
        EXPECT_EQ(result.message(), QStringLiteral("Unknown USB serial number"));
        EXPECT_FALSE(socket->isOpen());
        EXPECT_EQ(bench().openHandleCount(), 0) << "the refused handle must be closed";
    }
}

// No D2XX call is made with the null handle of a closed socket: every transfer throws instead.
TEST_F(USBFtdiSocketTest, ClosedSocketThrowsDeviceNotOpen)
{
    USBFtdiSocket socket(0);
    QByteArray array;
    char buffer[8];
    for (const std::function<void()>& transfer : std::vector<std::function<void()>>{
             [&] { socket.writeByte(1); }, [&] { socket.write(QByteArrayLiteral("abc")); },
             [&] { socket.write(QByteArray()); }, [&] { socket.read(4); },
             [&] { socket.readInto(buffer, 4); }, [&] { socket.readAvailable(array, 10); }})
        expectFailure(transfer, "Device not open");
    EXPECT_TRUE(array.isEmpty());
    EXPECT_TRUE(socket.close().isSuccess());
    socket.cyclePortAndClose();
    EXPECT_FALSE(socket.isOpen());
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

} // namespace
