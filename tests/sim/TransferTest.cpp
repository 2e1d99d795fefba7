#include "BenchClient.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <thread>
#include <vector>

using namespace benchclient;

namespace {

// The bootloader's 0x15 request is answered with a bare 8-byte reply: a predictable echo.
QByteArray echo(quint32 id, quint8 status = 0)
{
    QByteArray reply = request(id, 0x15);
    reply[5] = char(status);
    return reply;
}

class TransferTest : public BenchTest
{
};

TEST_F(TransferTest, ReadReturnsWhatArrivedWhenTheTimeOutEnds)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kRowan));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(FT_SetTimeouts(handle, 100, 100), FT_OK);
    // Split anywhere: the unit keeps the partial packet.
    const QByteArray packet = request(0x01020304, 0x15);
    ASSERT_EQ(writeBytes(handle, packet.left(3)), FT_OK);
    DWORD rx = 99, tx = 99, events = 0;
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    ASSERT_EQ(writeBytes(handle, packet.mid(3)), FT_OK);
    ASSERT_EQ(FT_GetStatus(handle, &rx, &tx, &events), FT_OK);
    EXPECT_EQ(rx, 8u);
    EXPECT_EQ(tx, 0u);
    EXPECT_EQ(events & FT_EVENT_RXCHAR, FT_EVENT_RXCHAR);
    EXPECT_EQ(readBytes(handle, 3), echo(0x01020304).left(3));

    QByteArray buffer(20, '\x7F');
    DWORD got = 99;
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(FT_Read(handle, buffer.data(), 20, &got), FT_OK);
    EXPECT_GE(timer.elapsed(), 90);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(buffer.left(5), echo(0x01020304).mid(3));
    EXPECT_EQ(buffer.at(5), '\x7F') << "nothing written beyond what arrived";
    ASSERT_EQ(FT_Read(handle, buffer.data(), 4, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(FT_Read(handle, nullptr, 4, &got), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Write(handle, buffer.data(), 4, nullptr), FT_INVALID_PARAMETER);

    // A blocked read wakes as soon as all it asked for has arrived.
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    QByteArray both;
    std::thread reader([&] { both = readBytes(handle, 16); });
    ASSERT_EQ(writeBytes(handle, request(1, 0x15) + request(2, 0x15)), FT_OK);
    reader.join();
    EXPECT_EQ(both, echo(1) + echo(2));
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, PurgeEmptiesOnlyTheReceiveQueue)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kAlder));
    ASSERT_NE(handle, nullptr);
    DWORD rx = 0;
    const std::pair<ULONG, DWORD> cases[] = {{FT_PURGE_TX, 8u}, {FT_PURGE_RX, 0u}, {FT_PURGE_RX | FT_PURGE_TX, 0u}};
    for (const auto& [mask, left] : cases) {
        ASSERT_EQ(FT_Purge(handle, FT_PURGE_RX), FT_OK);
        ASSERT_EQ(writeBytes(handle, request(1, 0x15)), FT_OK);
        ASSERT_EQ(FT_Purge(handle, mask), FT_OK);
        ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
        EXPECT_EQ(rx, left) << "mask " << mask;
    }
    ASSERT_EQ(writeBytes(handle, request(3, 0x15)), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), echo(3)) << "the queue works after a purge";
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, ConfigurationCallsAreRecordedInOrderPerChannel)
{
    FT_HANDLE b = openListed(QStringLiteral("QZAH017010002B"));
    FT_HANDLE a = openListed(QStringLiteral("QZAH017010002A"));
    ASSERT_NE(b, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(FT_SetBaudRate(b, 500000), FT_OK);
    EXPECT_EQ(FT_SetDataCharacteristics(b, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_EVEN), FT_OK);
    EXPECT_EQ(FT_SetUSBParameters(b, 0x2000, 0x100), FT_OK);
    EXPECT_EQ(FT_SetBitMode(a, 0xFF, 0x40), FT_OK);
    EXPECT_EQ(FT_SetBaudRate(b, 0), FT_INVALID_BAUD_RATE);
    const auto take = [](int link) {
        return controlText([link](char* buffer, int size) { return kavrasim_take_config_calls(kCedar, link, buffer, size); });
    };
    EXPECT_EQ(take(0), R"([{"args":[500000],"call":"FT_SetBaudRate"},{"args":[8,0,2],"call":"FT_SetDataCharacteristics"},)"
                       R"({"args":[8192,256],"call":"FT_SetUSBParameters"},{"args":[0],"call":"FT_SetBaudRate"}])");
    EXPECT_EQ(take(1), R"([{"args":[255,64],"call":"FT_SetBitMode"}])");
    EXPECT_EQ(take(0), "[]") << "taking clears";
    EXPECT_EQ(kavrasim_take_config_calls(kCedar, 2, nullptr, 0), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(FT_Close(a), FT_OK);
    EXPECT_EQ(FT_Close(b), FT_OK);
}

TEST_F(TransferTest, UnpluggedUnitsFailEveryCallAndComeBackAsNewDevices)
{
    FT_HANDLE handle = openListed(QStringLiteral("QZAH017010002B"));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    FT_STATUS readStatus = FT_OK;
    std::thread reader([&] {
        char buffer[8];
        DWORD got = 0;
        readStatus = FT_Read(handle, buffer, 8, &got);
    });
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(kavrasim_unplug(kCedar), KAVRASIM_OK);
    reader.join();
    EXPECT_EQ(readStatus, FT_IO_ERROR) << "a blocked read learns of the unplug";
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(deviceList().size(), 5);

    char buffer[8] = {};
    DWORD n = 0, tx = 0, events = 0;
    const FT_STATUS results[] = {FT_Write(handle, buffer, 8, &n), FT_Read(handle, buffer, 8, &n),
                                 FT_GetQueueStatus(handle, &n), FT_GetStatus(handle, &n, &tx, &events),
                                 FT_SetBaudRate(handle, 500000), FT_Purge(handle, 3), FT_CyclePort(handle)};
    for (std::size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], FT_IO_ERROR) << "call " << i;

    ASSERT_EQ(kavrasim_replug(kCedar), KAVRASIM_OK);
    EXPECT_EQ(deviceList().size(), 7);
    EXPECT_EQ(FT_Write(handle, buffer, 8, &n), FT_IO_ERROR) << "old handles stay dead";
    FT_HANDLE fresh = openListed(QStringLiteral("QZAH017010002B"));
    ASSERT_NE(fresh, nullptr);
    ASSERT_EQ(writeBytes(fresh, request(9, 0x15)), FT_OK);
    EXPECT_EQ(readBytes(fresh, 8), echo(9));
    EXPECT_EQ(FT_Close(handle), FT_OK) << "the chip is back, so the dead handle closes cleanly";
    EXPECT_EQ(FT_Close(fresh), FT_OK);

    // Closed while still unplugged, a handle reports the loss and is released.
    FT_HANDLE birch = openListed(QString::fromLatin1(kBirch));
    ASSERT_EQ(kavrasim_unplug(kBirch), KAVRASIM_OK);
    EXPECT_EQ(FT_Close(birch), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(birch), FT_INVALID_HANDLE);

    // Reloading the bench kills every handle, as an unplug does.
    FT_HANDLE alder = openListed(QString::fromLatin1(kAlder));
    ASSERT_EQ(kavrasim_reset(), KAVRASIM_OK);
    EXPECT_EQ(FT_GetQueueStatus(alder, &n), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(alder), FT_IO_ERROR);
}

TEST_F(TransferTest, FaultsStrikeTheNextRepliesOnly)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kAlder));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(FT_SetTimeouts(handle, 50, 50), FT_OK);
    const QByteArray three = request(1, 0x15) + request(2, 0x15) + request(3, 0x15);
    // Two dropped replies never arrive; the one after them does.
    ASSERT_EQ(kavrasim_drop_replies(kAlder, 2), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, three), FT_OK);
    EXPECT_EQ(readBytes(handle, 32), echo(3));
    // A corrupted reply carries the given first byte; the next ones are whole.
    ASSERT_EQ(kavrasim_corrupt_next_reply(kAlder, 0x06), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, three), FT_OK);
    EXPECT_EQ(readBytes(handle, 32), QByteArray(1, '\x06') + echo(1).mid(1) + echo(2) + echo(3));
    // A status override answers with that status and no data until removed.
    ASSERT_EQ(kavrasim_set_status_override(kAlder, 0x14, 0x42), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, request(6, 0x14)), FT_OK);
    QByteArray overridden = request(6, 0x14);
    overridden[5] = 0x42;
    EXPECT_EQ(readReply(handle), overridden);
    ASSERT_EQ(kavrasim_set_status_override(kAlder, 0x14, -1), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, request(7, 0x14)), FT_OK);
    EXPECT_GT(readReply(handle).size(), 8);

    // A delayed reply is held back, and what follows it queues behind it.
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    ASSERT_EQ(kavrasim_delay_next_reply(kAlder, 400), KAVRASIM_OK);
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(writeBytes(handle, request(8, 0x15) + request(9, 0x15)), FT_OK);
    DWORD rx = 99;
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(readBytes(handle, 16), echo(8) + echo(9));
    EXPECT_GE(timer.elapsed(), 350);

    EXPECT_EQ(kavrasim_drop_replies(kAlder, -1), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_delay_next_reply(kAlder, -1), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_corrupt_next_reply(kAlder, 256), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_set_status_override(kAlder, 300, 0), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_fail_writes(kAlder, -1), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, FailedOpensAndWritesStrikeTheGivenNumberOfTimes)
{
    ASSERT_EQ(kavrasim_fail_opens(kCedar, 2), KAVRASIM_OK);
    const int index = indexOf(QStringLiteral("QZAH017010002B"));
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_Open(index, &handle), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(FT_Open(index - 1, &handle), FT_DEVICE_NOT_OPENED) << "both channels count";
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(kavrasim_open_handle_count(), 0);
    ASSERT_EQ(FT_Open(index, &handle), FT_OK);

    ASSERT_EQ(kavrasim_fail_writes(kCedar, 1), KAVRASIM_OK);
    QByteArray bytes = request(7, 0x15);
    DWORD written = 99;
    EXPECT_EQ(FT_Write(handle, bytes.data(), DWORD(bytes.size()), &written), FT_FAILED_TO_WRITE_DEVICE);
    EXPECT_EQ(written, 0u);
    DWORD rx = 99;
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u) << "a failed write reaches nothing";
    EXPECT_EQ(writeBytes(handle, bytes), FT_OK);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, ControlCallsReportUnknownSerialsAndUnsolicitedPacketsReachTheirLink)
{
    const char* serial = "QZAH099990000";
    const unsigned char packet[] = {0x07, 0x02, 0xAA, 0xBB};
    char buffer[16];
    const int results[] = {
        kavrasim_unplug(serial), kavrasim_replug(serial), kavrasim_drop_replies(serial, 1),
        kavrasim_delay_next_reply(serial, 1), kavrasim_corrupt_next_reply(serial, 1),
        kavrasim_set_status_override(serial, 1, 1), kavrasim_fail_eeprom_reads(serial, 1),
        kavrasim_fail_opens(serial, 1), kavrasim_fail_writes(serial, 1), kavrasim_send_unsolicited(serial, 0, packet, 1),
        kavrasim_unit_state(serial, buffer, sizeof buffer), kavrasim_take_wire_log(serial, buffer, sizeof buffer),
        kavrasim_take_config_calls(serial, 0, buffer, sizeof buffer), kavrasim_unplug(nullptr),
    };
    for (std::size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], KAVRASIM_UNKNOWN_SERIAL) << "call " << i;

    EXPECT_EQ(kavrasim_send_unsolicited(kCedar, 1, packet, 4), KAVRASIM_NOT_OPEN);
    FT_HANDLE a = openListed(QStringLiteral("QZAH017010002A"));
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(kavrasim_send_unsolicited(kCedar, 1, packet, 4), KAVRASIM_OK);
    EXPECT_EQ(readBytes(a, 4), QByteArray(reinterpret_cast<const char*>(packet), 4));
    EXPECT_EQ(kavrasim_send_unsolicited(kCedar, 1, nullptr, 4), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(FT_Close(a), FT_OK);
}

TEST_F(TransferTest, WireLogRecordsBothDirectionsAndClearsOnlyWhenDelivered)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kRowan));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(kavrasim_drop_replies(kRowan, 1), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, request(0x11, 0x15)), FT_OK);
    char tiny[4];
    const int needed = kavrasim_take_wire_log(kRowan, tiny, sizeof tiny);
    const auto take = [] {
        return controlText([](char* buffer, int size) { return kavrasim_take_wire_log(kRowan, buffer, size); });
    };
    const QByteArray log = take();
    EXPECT_EQ(log.size() + 1, needed) << "a buffer too small clears nothing";
    EXPECT_TRUE(log.contains(R"("data":"0511000000150000","dir":"out","link":0)")) << log.constData();
    EXPECT_TRUE(log.contains(R"("data":"0511000000000000","dir":"in","link":0,"note":"dropped")")) << log.constData();
    EXPECT_EQ(take(), "[]");
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, WireLogKeepsTheLatestEntriesAndCountsTheDroppedOnes)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kRowan));
    ASSERT_NE(handle, nullptr);
    // Two entries an exchange: 5003 exchanges overflow the 10,000 entries by 6, the first three.
    for (quint32 id = 0; id < 5003; ++id) {
        ASSERT_EQ(writeBytes(handle, request(id, 0x15)), FT_OK);
        ASSERT_EQ(FT_Purge(handle, FT_PURGE_RX), FT_OK);
    }
    const auto take = [] {
        return QJsonDocument::fromJson(
                   controlText([](char* buffer, int size) { return kavrasim_take_wire_log(kRowan, buffer, size); }))
            .array();
    };
    const QJsonArray log = take();
    ASSERT_EQ(log.size(), 10001);
    const QJsonObject marker{{QStringLiteral("dropped"), 6}};
    EXPECT_EQ(log.at(0).toObject(), marker) << "the first element counts what the ring overwrote";
    const auto data = [&](int i) { return log.at(i).toObject().value(QStringLiteral("data")).toString(); };
    EXPECT_EQ(data(1), QString::fromLatin1(request(3, 0x15).toHex())) << "the oldest entry kept";
    EXPECT_EQ(data(10000), QString::fromLatin1(echo(5002).toHex())) << "the newest entry";
    EXPECT_EQ(take(), QJsonArray()) << "taking clears the entries and the count";
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, BlockedReadersAreEachWokenByTheirOwnHandlesEvents)
{
    // Readers block on several chips at once; each returns on its own reply or its chip's unplug,
    // long before its time-out, however the others fare.
    for (const char* timing : {"instant", "realistic"}) {
        SCOPED_TRACE(timing);
        ASSERT_EQ(kavrasim_load_bench(QStringLiteral(R"({"timing":"%1","units":[
            {"chip":"FT232R","serial":"QZAH015010001"},{"chip":"FT232H","serial":"QZAH019010003"},
            {"chip":"FT-X","serial":"QZAH025010004"},{"chip":"FT232R","serial":"QZAH041010006"}]})")
                                      .arg(QLatin1String(timing))
                                      .toLatin1()
                                      .constData()),
                  KAVRASIM_OK);
        const char* serials[] = {kAlder, kGeneric19, kGeneric25, kRowan};
        FT_HANDLE handles[4] = {};
        FT_STATUS statuses[4] = {};
        QByteArray replies[4];
        for (int i = 0; i < 4; ++i) {
            handles[i] = openListed(QString::fromLatin1(serials[i]));
            ASSERT_NE(handles[i], nullptr);
            ASSERT_EQ(FT_SetTimeouts(handles[i], 20000, 20000), FT_OK);
        }
        QElapsedTimer timer;
        timer.start();
        std::vector<std::thread> readers;
        for (int i = 0; i < 4; ++i) {
            readers.emplace_back([&, i] {
                QByteArray buffer(8, '\0');
                DWORD got = 0;
                statuses[i] = FT_Read(handles[i], buffer.data(), 8, &got);
                replies[i] = buffer.left(int(got));
            });
        }
        ASSERT_EQ(kavrasim_unplug(kGeneric19), KAVRASIM_OK);
        for (int i : {3, 0, 2})
            ASSERT_EQ(writeBytes(handles[i], request(quint32(i), 0x15)), FT_OK);
        for (std::thread& reader : readers)
            reader.join();
        EXPECT_LT(timer.elapsed(), 10000);
        for (int i : {0, 2, 3}) {
            EXPECT_EQ(statuses[i], FT_OK) << serials[i];
            EXPECT_EQ(replies[i], echo(quint32(i))) << serials[i];
        }
        EXPECT_EQ(statuses[1], FT_IO_ERROR);
        for (FT_HANDLE handle : handles)
            FT_Close(handle);
    }
}

TEST_F(TransferTest, ConcurrentClientsKeepTheirRepliesApart)
{
    std::atomic<int> mismatches{0};
    std::atomic<bool> stop{false};
    std::thread lister([&] {
        while (!stop)
            deviceList();
    });
    std::vector<std::thread> workers;
    for (const char* serial : {"QZAH015010001", "QZAH017010002B", "QZAH019010003", "QZAH025010004", "QZAH041010006"}) {
        workers.emplace_back([&, serial] {
            FT_HANDLE handle = openListed(QString::fromLatin1(serial));
            if (!handle) {
                ++mismatches;
                return;
            }
            FT_SetTimeouts(handle, 2000, 2000);
            for (quint32 id = 1; id <= 200; ++id) {
                if (writeBytes(handle, request(id, 0x15)) != FT_OK || readBytes(handle, 8) != echo(id))
                    ++mismatches;
            }
            FT_Close(handle);
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    stop = true;
    lister.join();
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
