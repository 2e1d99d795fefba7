#include "D2xxBenchTest.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <thread>
#include <vector>

using namespace benchclient;

namespace {

using TransferTest = D2xxBenchTest;

// The wire log's text, taken with a buffer of the size a first call with too small a one names:
// that call must clear nothing.
QByteArray takeWireLog(const char* serial)
{
    char probe[1];
    QByteArray log(kavrasim_take_wire_log(serial, probe, sizeof probe), '\0');
    kavrasim_take_wire_log(serial, log.data(), log.size());
    return log.left(log.size() - 1);
}

// (Whole replies, waiting out the time-out and queue counts: D2xxConformance, which holds the
// bench against FTDI's own library. Configuration calls as recorded: USBFtdiSocketTest. Blocked
// reads woken by what arrives: BlockedReadersAreEachWokenByTheirOwnHandlesEvents.)
TEST_F(TransferTest, CallsOnAnOpenLink)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
    char buffer[4];
    DWORD rx = 0, tx = 0, events = 0;
    EXPECT_EQ(FT_Read(handle, nullptr, 4, &rx), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Write(handle, buffer, 4, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_SetBaudRate(handle, 0), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(kavrasim_take_config_calls(kAlder, 2, nullptr, 0), KAVRASIM_BAD_ARGUMENT);

    // A purge empties only the queues it names; the host's bytes went out at once.
    const std::pair<ULONG, DWORD> cases[]
        = {{FT_PURGE_TX, 8u}, {FT_PURGE_RX, 0u}, {FT_PURGE_RX | FT_PURGE_TX, 0u}};
    for (const auto& [mask, left] : cases) {
        ASSERT_EQ(FT_Purge(handle, FT_PURGE_RX), FT_OK);
        ASSERT_EQ(writeBytes(handle, packet(1, 0x15)), FT_OK);
        ASSERT_EQ(FT_Purge(handle, mask), FT_OK);
        ASSERT_EQ(FT_GetStatus(handle, &rx, &tx, &events), FT_OK);
        EXPECT_EQ(rx, left) << "mask " << mask;
        if (left) {
            EXPECT_EQ(events & FT_EVENT_RXCHAR, FT_EVENT_RXCHAR);
        }
    }

    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, UnpluggedUnitsFailEveryCallAndComeBackAsNewDevices)
{
    // (A blocked read learns of the unplug: BlockedReadersAreEachWokenByTheirOwnHandlesEvents.)
    FT_HANDLE handle = openListed(channel(kCedar, 'B'));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(kavrasim_unplug(kCedar), KAVRASIM_OK);
    EXPECT_EQ(deviceList().size(), DefaultBench::ListEntries - 2);

    char buffer[8] = {};
    DWORD n = 0, tx = 0, events = 0;
    const FT_STATUS results[] = {FT_Write(handle, buffer, 8, &n), FT_Read(handle, buffer, 8, &n),
        FT_GetQueueStatus(handle, &n), FT_GetStatus(handle, &n, &tx, &events),
        FT_SetBaudRate(handle, 500000), FT_Purge(handle, 3), FT_CyclePort(handle)};
    for (std::size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], FT_IO_ERROR) << "call " << i;

    ASSERT_EQ(kavrasim_replug(kCedar), KAVRASIM_OK);
    EXPECT_EQ(deviceList().size(), DefaultBench::ListEntries);
    EXPECT_EQ(FT_Write(handle, buffer, 8, &n), FT_IO_ERROR) << "old handles stay dead";
    FT_HANDLE fresh = openListed(channel(kCedar, 'B'));
    ASSERT_NE(fresh, nullptr);
    ASSERT_EQ(writeBytes(fresh, packet(9, 0x15)), FT_OK);
    EXPECT_EQ(readBytes(fresh, 8), echo(9));
    EXPECT_EQ(FT_Close(handle), FT_OK) << "the chip is back, so the dead handle closes cleanly";
    EXPECT_EQ(FT_Close(fresh), FT_OK);

    // Closed while still unplugged, a handle reports the loss and is released.
    FT_HANDLE birch = openListed(kBirch);
    ASSERT_EQ(kavrasim_unplug(kBirch), KAVRASIM_OK);
    EXPECT_EQ(FT_Close(birch), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(birch), FT_INVALID_HANDLE);

    // Reloading the bench kills every handle, as an unplug does.
    FT_HANDLE alder = openListed(kAlder);
    ASSERT_EQ(kavrasim_reset(), KAVRASIM_OK);
    EXPECT_EQ(FT_GetQueueStatus(alder, &n), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(alder), FT_IO_ERROR);
}

TEST_F(TransferTest, FaultsStrikeTheNextRepliesOnly)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(FT_SetTimeouts(handle, 50, 50), FT_OK);
    const QByteArray three = packet(1, 0x15) + packet(2, 0x15) + packet(3, 0x15);
    // Two dropped replies never arrive; the one after them does.
    ASSERT_EQ(kavrasim_drop_replies(kAlder, 2), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, three), FT_OK);
    EXPECT_EQ(readBytes(handle, 32), echo(3));

    // A delayed reply is held back, and what follows it queues behind it.
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    ASSERT_EQ(kavrasim_delay_next_reply(kAlder, 400), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, packet(8, 0x15) + packet(9, 0x15)), FT_OK);
    DWORD rx = 99;
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(readBytes(handle, 16), echo(8) + echo(9));

    EXPECT_EQ(kavrasim_drop_replies(kAlder, -1), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_delay_next_reply(kAlder, -1), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_corrupt_next_reply(kAlder, 256), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_misframe_next_reply(kAlder, 0x10000, 0), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_misframe_next_reply(kAlder, 1, -1), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_set_status_override(kAlder, 300, 0), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(kavrasim_fail_writes(kAlder, -1), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, ControlCallsReportUnknownSerialsAndUnsolicitedPacketsReachTheirLink)
{
    const char* serial = "QZAH099990000";
    const unsigned char packet[] = {0x07, 0x02, 0xAA, 0xBB};
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
        kavrasim_send_unsolicited(serial, 0, packet, 1),
        kavrasim_unit_state(serial, buffer, sizeof buffer),
        kavrasim_take_wire_log(serial, buffer, sizeof buffer),
        kavrasim_take_config_calls(serial, 0, buffer, sizeof buffer),
        kavrasim_unplug(nullptr),
    };
    for (std::size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], KAVRASIM_UNKNOWN_SERIAL) << "call " << i;

    EXPECT_EQ(kavrasim_send_unsolicited(kCedar, 1, packet, 4), KAVRASIM_NOT_OPEN);
    FT_HANDLE a = openListed(channel(kCedar, 'A'));
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(kavrasim_send_unsolicited(kCedar, 1, packet, 4), KAVRASIM_OK);
    EXPECT_EQ(readBytes(a, 4), QByteArray(reinterpret_cast<const char*>(packet), 4));
    EXPECT_EQ(kavrasim_send_unsolicited(kCedar, 1, nullptr, 4), KAVRASIM_BAD_ARGUMENT);
    EXPECT_EQ(FT_Close(a), FT_OK);
}

TEST_F(TransferTest, WireLogRecordsBothDirectionsKeepsTheLatestAndClearsOnlyWhenDelivered)
{
    FT_HANDLE handle = openListed(kRowan);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(kavrasim_drop_replies(kRowan, 1), KAVRASIM_OK);
    ASSERT_EQ(writeBytes(handle, packet(0x11, 0x15)), FT_OK);
    const QByteArray log = takeWireLog(kRowan);
    EXPECT_TRUE(log.contains(R"("data":"0511000000150000","dir":"out","link":0)"))
        << log.constData();
    EXPECT_TRUE(log.contains(R"("data":"0511000000000000","dir":"in","link":0,"note":"dropped")"))
        << log.constData();
    EXPECT_EQ(takeWireLog(kRowan), "[]");

    // Two entries an exchange: 5003 exchanges overflow the 10,000 entries by 6, the first three.
    for (quint32 id = 0; id < 5003; ++id) {
        ASSERT_EQ(writeBytes(handle, packet(id, 0x15)), FT_OK);
        ASSERT_EQ(FT_Purge(handle, FT_PURGE_RX), FT_OK);
    }
    const QJsonArray full = QJsonDocument::fromJson(takeWireLog(kRowan)).array();
    ASSERT_EQ(full.size(), 10001);
    const QJsonObject marker{{QStringLiteral("dropped"), 6}};
    EXPECT_EQ(full.at(0).toObject(), marker) << "the first element counts what the ring overwrote";
    EXPECT_EQ(full.at(1)["data"].toString(), QString::fromLatin1(packet(3, 0x15).toHex()))
        << "the oldest kept";
    EXPECT_EQ(full.at(10000)["data"].toString(), QString::fromLatin1(echo(5002).toHex()))
        << "the newest";
    EXPECT_EQ(takeWireLog(kRowan), "[]") << "taking clears the entries and the count";
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, RealisticTimingRepliesWaitForTheLinkKeepTheirOrderAndOutlastAPurgeOnTheLine)
{
    ASSERT_EQ(loadUnits(defaultUnits({DefaultBench::Alder}), "realistic"), KAVRASIM_OK);
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_Open(0, &handle), FT_OK);
    // A slow link with the longest latency: the reply cannot be there at once.
    ASSERT_EQ(FT_SetBaudRate(handle, 9600), FT_OK);
    ASSERT_EQ(FT_SetLatencyTimer(handle, 255), FT_OK);
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    ASSERT_EQ(writeBytes(handle, packet(1, 0x15)), FT_OK);
    ASSERT_EQ(writeBytes(handle, packet(2, 0x15)), FT_OK);
    DWORD rx = 99;
    ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(readBytes(handle, 16), echo(1) + echo(2));
    // A read with a time-out shorter than the link's delay returns early with nothing.
    ASSERT_EQ(FT_SetTimeouts(handle, 20, 20), FT_OK);
    ASSERT_EQ(writeBytes(handle, packet(3, 0x15)), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), QByteArray());
    ASSERT_EQ(FT_SetTimeouts(handle, 5000, 5000), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), echo(3));
    // A purge drops only what reached the chip: a reply still on the line arrives after it, one
    // in the chip waiting for the latency timer does not.
    ASSERT_EQ(writeBytes(handle, packet(4, 0x15)), FT_OK);
    ASSERT_EQ(FT_Purge(handle, FT_PURGE_RX), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), echo(4));
    ASSERT_EQ(FT_SetTimeouts(handle, 60, 60), FT_OK);
    ASSERT_EQ(writeBytes(handle, packet(5, 0x15)), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), QByteArray());
    ASSERT_EQ(FT_Purge(handle, FT_PURGE_RX), FT_OK);
    ASSERT_EQ(FT_SetTimeouts(handle, 400, 400), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), QByteArray());
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

TEST_F(TransferTest, BlockedReadersAreEachWokenByTheirOwnHandlesEvents)
{
    // Readers block on several chips at once; each returns on its own reply or its chip's unplug,
    // long before its time-out, however the others fare.
    for (const char* timing : {"instant", "realistic"}) {
        SCOPED_TRACE(timing);
        using namespace DefaultBench;
        ASSERT_EQ(
            loadUnits(defaultUnits({Alder, Generic19, Generic25, Rowan}), timing), KAVRASIM_OK);
        const char* serials[] = {kAlder, kGeneric19, kGeneric25, kRowan};
        FT_HANDLE handles[4] = {};
        FT_STATUS statuses[4] = {};
        QByteArray replies[4];
        for (int i = 0; i < 4; ++i) {
            handles[i] = openListed(serials[i]);
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
            ASSERT_EQ(writeBytes(handles[i], packet(quint32(i), 0x15)), FT_OK);
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

} // namespace
