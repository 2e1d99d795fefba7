#include "BenchClient.h"

#include <QElapsedTimer>

#include <atomic>
#include <thread>
#include <vector>

using namespace benchclient;

namespace {

class TransferTest : public BenchTest
{
protected:
    // The bootloader's 0x15 request is answered with a bare 8-byte reply: a predictable echo.
    static QByteArray echo(quint32 id, quint8 status = 0)
    {
        QByteArray reply = request(id, 0x15);
        reply[5] = char(status);
        return reply;
    }
};

TEST_F(TransferTest, WriteHandsBytesToTheUnitAndReadGivesItsReply)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kAlder));
    ASSERT_NE(handle, nullptr);
    // Split anywhere: the unit keeps the partial packet.
    const QByteArray packet = request(0x01020304, 0x15);
    ASSERT_EQ(writeBytes(handle, packet.left(3)), FT_OK);
    DWORD rx = 99;
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    ASSERT_EQ(writeBytes(handle, packet.mid(3)), FT_OK);
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 8u);
    DWORD tx = 99, events = 0;
    ASSERT_EQ(FT_GetStatus(handle, &rx, &tx, &events), FT_OK);
    EXPECT_EQ(rx, 8u);
    EXPECT_EQ(tx, 0u);
    EXPECT_EQ(events & FT_EVENT_RXCHAR, FT_EVENT_RXCHAR);
    // Partial reads take the queue in order.
    EXPECT_EQ(readBytes(handle, 3), echo(0x01020304).left(3));
    EXPECT_EQ(readBytes(handle, 5), echo(0x01020304).mid(3));
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, ReadReturnsWhatArrivedWhenTheTimeOutEnds)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kRowan));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(FT_SetTimeouts(handle, 100, 100), FT_OK);
    ASSERT_EQ(writeBytes(handle, request(7, 0x15)), FT_OK);
    QByteArray buffer(20, '\x7F');
    DWORD got = 99;
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(FT_Read(handle, buffer.data(), 20, &got), FT_OK);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(got, 8u);
    EXPECT_EQ(buffer.left(8), echo(7));
    EXPECT_EQ(buffer.at(8), '\x7F') << "nothing written beyond what arrived";

    ASSERT_EQ(FT_Read(handle, buffer.data(), 4, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    ASSERT_EQ(FT_Read(handle, buffer.data(), 0, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(FT_Read(handle, nullptr, 4, &got), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Read(handle, buffer.data(), 4, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Write(handle, nullptr, 4, &got), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Write(handle, buffer.data(), 4, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetQueueStatus(handle, nullptr), FT_INVALID_PARAMETER);
    DWORD a = 0, b = 0;
    EXPECT_EQ(FT_GetStatus(handle, &a, &b, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, ABlockedReadWakesWhenTheReplyArrives)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kAlder));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    QByteArray got;
    std::thread reader([&] { got = readBytes(handle, 16); });
    ASSERT_EQ(writeBytes(handle, request(1, 0x15)), FT_OK);
    ASSERT_EQ(writeBytes(handle, request(2, 0x15)), FT_OK);
    reader.join();
    EXPECT_EQ(got, echo(1) + echo(2));
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, PurgeEmptiesOnlyTheReceiveQueue)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kAlder));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(writeBytes(handle, request(1, 0x15)), FT_OK);
    DWORD rx = 0;
    ASSERT_EQ(FT_Purge(handle, FT_PURGE_TX), FT_OK);
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 8u);
    ASSERT_EQ(FT_Purge(handle, FT_PURGE_RX), FT_OK);
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    ASSERT_EQ(writeBytes(handle, request(2, 0x15)), FT_OK);
    ASSERT_EQ(FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
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
    EXPECT_EQ(FT_SetBitMode(b, 0xFF, 0x00), FT_OK);
    EXPECT_EQ(FT_SetBaudRate(b, 500000), FT_OK);
    EXPECT_EQ(FT_SetFlowControl(b, FT_FLOW_RTS_CTS, 0x11, 0x13), FT_OK);
    EXPECT_EQ(FT_SetDataCharacteristics(b, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_EVEN), FT_OK);
    EXPECT_EQ(FT_SetLatencyTimer(b, 2), FT_OK);
    EXPECT_EQ(FT_SetUSBParameters(b, 0x2000, 0x100), FT_OK);
    EXPECT_EQ(FT_SetTimeouts(b, 1000, 1000), FT_OK);
    EXPECT_EQ(FT_Purge(b, 3), FT_OK);
    EXPECT_EQ(FT_SetBitMode(a, 0xFF, 0x40), FT_OK);
    EXPECT_EQ(FT_SetBaudRate(b, 0), FT_INVALID_BAUD_RATE);

    const QByteArray callsB = controlText(
        [](char* buffer, int size) { return kavrasim_take_config_calls(kCedar, 0, buffer, size); });
    EXPECT_EQ(callsB,
              R"([{"args":[255,0],"call":"FT_SetBitMode"},{"args":[500000],"call":"FT_SetBaudRate"},)"
              R"({"args":[256,17,19],"call":"FT_SetFlowControl"},{"args":[8,0,2],"call":"FT_SetDataCharacteristics"},)"
              R"({"args":[2],"call":"FT_SetLatencyTimer"},{"args":[8192,256],"call":"FT_SetUSBParameters"},)"
              R"({"args":[1000,1000],"call":"FT_SetTimeouts"},{"args":[3],"call":"FT_Purge"},)"
              R"({"args":[0],"call":"FT_SetBaudRate"}])");
    const QByteArray callsA = controlText(
        [](char* buffer, int size) { return kavrasim_take_config_calls(kCedar, 1, buffer, size); });
    EXPECT_EQ(callsA, R"([{"args":[255,64],"call":"FT_SetBitMode"}])");
    EXPECT_EQ(controlText([](char* buffer, int size) { return kavrasim_take_config_calls(kCedar, 0, buffer, size); }),
              "[]")
        << "taking clears";
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
    EXPECT_EQ(indexOf(QStringLiteral("QZAH017010002B")), -1);
    char buffer[8] = {};
    DWORD n = 0;
    FT_PROGRAM_DATA data{};
    data.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
    const FT_STATUS results[] = {
        FT_Write(handle, buffer, 8, &n),         FT_Read(handle, buffer, 8, &n), FT_GetQueueStatus(handle, &n),
        FT_SetBaudRate(handle, 500000),          FT_Purge(handle, 3),           FT_EE_Read(handle, &data),
        FT_GetDeviceInfo(handle, nullptr, nullptr, nullptr, nullptr, nullptr),  FT_CyclePort(handle),
    };
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
    EXPECT_EQ(kavrasim_unplug("QZNOSUCH"), KAVRASIM_UNKNOWN_SERIAL);
}

TEST_F(TransferTest, ClosingAnUnpluggedHandleReportsTheLossAndReleasesIt)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kBirch));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(kavrasim_unplug(kBirch), KAVRASIM_OK);
    EXPECT_EQ(FT_Close(handle), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(handle), FT_INVALID_HANDLE);
}

TEST_F(TransferTest, FaultsStrikeTheNextRepliesOnly)
{
    FT_HANDLE handle = openListed(QString::fromLatin1(kAlder));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(FT_SetTimeouts(handle, 50, 50), FT_OK);

    // Dropped replies never arrive; the one after them does.
    ASSERT_EQ(kavrasim_drop_replies(kAlder, 2), KAVRASIM_OK);
    for (quint32 id : {1u, 2u, 3u})
        ASSERT_EQ(writeBytes(handle, request(id, 0x15)), FT_OK);
    EXPECT_EQ(readBytes(handle, 16), echo(3));

    // A corrupted reply carries the given first byte, the next one is whole again.
    ASSERT_EQ(kavrasim_corrupt_next_reply(kAlder, 0x06), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, request(4, 0x15)), FT_OK);
    ASSERT_EQ(writeBytes(handle, request(5, 0x15)), FT_OK);
    QByteArray corrupted = echo(4);
    corrupted[0] = 0x06;
    EXPECT_EQ(readBytes(handle, 16), corrupted + echo(5));

    // A status override answers with that status and no data until removed.
    ASSERT_EQ(kavrasim_set_status_override(kAlder, 0x14, 0x42), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, request(6, 0x14)), FT_OK);
    QByteArray overridden = request(6, 0x14);
    overridden[5] = 0x42;
    EXPECT_EQ(readReply(handle), overridden);
    ASSERT_EQ(kavrasim_set_status_override(kAlder, 0x14, -1), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, request(7, 0x14)), FT_OK);
    const QByteArray pageSize = readReply(handle);
    ASSERT_GE(pageSize.size(), 8);
    EXPECT_EQ(pageSize.at(5), 0);
    EXPECT_GT(pageSize.size(), 8);

    // A delayed reply is held back, and what follows it queues behind it.
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    ASSERT_EQ(kavrasim_delay_next_reply(kAlder, 400), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, request(8, 0x15)), FT_OK);
    ASSERT_EQ(writeBytes(handle, request(9, 0x15)), FT_OK);
    DWORD rx = 99;
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(readBytes(handle, 16), echo(8) + echo(9));

    EXPECT_EQ(kavrasim_drop_replies(kAlder, -1), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_delay_next_reply(kAlder, -1), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_corrupt_next_reply(kAlder, 256), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_set_status_override(kAlder, 300, 0), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, FailedOpensStrikeTheGivenNumberOfTimes)
{
    ASSERT_EQ(kavrasim_fail_opens(kCedar, 2), KAVRASIM_OK);
    const int index = indexOf(QStringLiteral("QZAH017010002B"));
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_Open(index, &handle), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(FT_Open(index - 1, &handle), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(kavrasim_open_handle_count(), 0);
    ASSERT_EQ(FT_Open(index, &handle), FT_OK);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, FailedWritesReachNothing)
{
    FT_HANDLE handle = openListed(QStringLiteral("QZAH017010002B"));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(kavrasim_fail_writes(kCedar, 1), KAVRASIM_OK);
    QByteArray bytes = request(7, 0x15);
    DWORD written = 99;
    EXPECT_EQ(FT_Write(handle, bytes.data(), DWORD(bytes.size()), &written), FT_FAILED_TO_WRITE_DEVICE);
    EXPECT_EQ(written, 0u);
    DWORD rx = 99;
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(writeBytes(handle, bytes), FT_OK); // only the given number of writes fail
    EXPECT_EQ(kavrasim_fail_writes(kCedar, -1), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, UnknownSerialsAreReportedByEveryControlCall)
{
    const char* serial = "QZAH099990000";
    const unsigned char byte = 0x07;
    char buffer[16];
    const int results[] = {
        kavrasim_unplug(serial),
        kavrasim_replug(serial),
        kavrasim_drop_replies(serial, 1),
        kavrasim_delay_next_reply(serial, 1),
        kavrasim_corrupt_next_reply(serial, 1),
        kavrasim_set_status_override(serial, 1, 1),
        kavrasim_fail_eeprom_reads(serial, 1),
        kavrasim_fail_opens(serial, 1),
        kavrasim_fail_writes(serial, 1),
        kavrasim_send_unsolicited(serial, 0, &byte, 1),
        kavrasim_unit_state(serial, buffer, sizeof buffer),
        kavrasim_take_wire_log(serial, buffer, sizeof buffer),
        kavrasim_take_config_calls(serial, 0, buffer, sizeof buffer),
        kavrasim_unplug(nullptr),
    };
    for (std::size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], KAVRASIM_UNKNOWN_SERIAL) << "call " << i;
}

TEST_F(TransferTest, UnsolicitedPacketsReachTheOpenHandleOfTheirLink)
{
    const unsigned char packet[] = {0x07, 0x02, 0xAA, 0xBB};
    EXPECT_EQ(kavrasim_send_unsolicited(kCedar, 1, packet, 4), KAVRASIM_NOT_OPEN);
    FT_HANDLE a = openListed(QStringLiteral("QZAH017010002A"));
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(kavrasim_send_unsolicited(kCedar, 1, packet, 4), KAVRASIM_OK);
    EXPECT_EQ(readBytes(a, 4), QByteArray(reinterpret_cast<const char*>(packet), 4));
    EXPECT_EQ(kavrasim_send_unsolicited(kCedar, 1, packet, 0), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_send_unsolicited(kCedar, 1, nullptr, 4), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(FT_Close(a), FT_OK);
}

TEST_F(TransferTest, StreamLinkAnswersEachZeroByteWithOneBlock)
{
    FT_HANDLE a = openListed(QStringLiteral("QZAH017010002A"));
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(writeBytes(a, QByteArray(2, '\0')), FT_OK);
    DWORD rx = 0;
    ASSERT_EQ(FT_GetQueueStatus(a, &rx), FT_OK);
    EXPECT_EQ(rx, 1024u) << "two blocks of the default 512 bytes";
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
    EXPECT_GT(needed, int(sizeof tiny));
    const QByteArray log =
        controlText([](char* buffer, int size) { return kavrasim_take_wire_log(kRowan, buffer, size); });
    EXPECT_EQ(log.size() + 1, needed) << "a buffer too small clears nothing";
    EXPECT_TRUE(log.contains(R"("data":"0511000000150000","dir":"out","link":0)")) << log.constData();
    EXPECT_TRUE(log.contains(R"("data":"0511000000000000","dir":"in","link":0,"note":"dropped")")) << log.constData();
    EXPECT_EQ(controlText([](char* buffer, int size) { return kavrasim_take_wire_log(kRowan, buffer, size); }), "[]");
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, ConcurrentClientsKeepTheirRepliesApart)
{
    const char* listed[] = {"QZAH015010001", "QZAH017010002B", "QZAH019010003", "QZAH025010004", "QZAH041010006"};
    std::atomic<int> mismatches{0};
    std::atomic<bool> stop{false};
    std::thread lister([&] {
        while (!stop)
            deviceList();
    });
    std::vector<std::thread> workers;
    for (const char* serial : listed) {
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
