// The same D2XX calls against whichever library KAVRA_D2XX_LIBRARY names: the virtual bench, or
// FTDI's own library under the USB-level bench. Both run on the default bench; what one library
// does and the other does not shows up as a failure of one of the two runs.
#include "D2xxFunctions.h"
#include "DefaultBench.h"
#include "Packets.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Packets::packet;

// FT_ListDevices and FT_OpenEx flags.
constexpr DWORD kBySerial = 1;
constexpr DWORD kByDescription = 2;
constexpr DWORD kByLocation = 4;
constexpr DWORD kNumberOnly = 0x80000000;
constexpr DWORD kByIndex = 0x40000000;
constexpr DWORD kAll = 0x20000000;

// The list entries of the default bench: one per channel of each unit's chip.
struct Entry
{
    std::string serial;
    std::string description;
    DWORD type;
    DWORD id;
    DWORD flags;
};

std::vector<Entry> defaultBenchEntries()
{
    struct Chip
    {
        const char* name;
        DWORD type;
        DWORD id;
        DWORD flags;
        const char* channels;
    };
    static const Chip chips[] = {{"FT232R", FT_DEVICE_232R, 0x04036001, 0, ""},
        {"FT2232H", FT_DEVICE_2232H, 0x04036010, FT_FLAGS_HISPEED, "AB"},
        {"FT232H", FT_DEVICE_232H, 0x04036014, FT_FLAGS_HISPEED, ""},
        {"FT-X", FT_DEVICE_X_SERIES, 0x04036015, 0, ""}};
    std::vector<Entry> entries;
    for (const DefaultBench::Unit& unit : DefaultBench::units()) {
        const Chip* chip = std::find_if(
            std::begin(chips), std::end(chips), [&](const Chip& c) { return unit.chip == c.name; });
        EXPECT_NE(chip, std::end(chips)) << unit.chip;
        if (chip == std::end(chips))
            continue;
        if (!*chip->channels)
            entries.push_back({unit.serial, unit.description, chip->type, chip->id, chip->flags});
        for (const char* letter = chip->channels; *letter; ++letter)
            entries.push_back({unit.serial + *letter, unit.description + ' ' + *letter, chip->type,
                chip->id, chip->flags});
    }
    return entries;
}

const char* const kAlder = DefaultBench::serial(DefaultBench::Alder);

class D2xxConformance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!d2xx.isLoaded())
            GTEST_SKIP() << "no D2XX library at KAVRA_D2XX_LIBRARY (FTDI's is built by "
                            "scripts/setup when the npm registry is reachable)";
    }
    void TearDown() override
    {
        for (FT_HANDLE handle : m_open)
            d2xx.close(handle);
    }

    // Opens a listed entry; closed again when the test ends.
    FT_HANDLE openListed(const char* serial)
    {
        FT_HANDLE handle = ::openListed(QString::fromLatin1(serial));
        if (handle)
            m_open.push_back(handle);
        return handle;
    }

    const D2xxFunctions& d2xx = D2xxFunctions::instance();

private:
    std::vector<FT_HANDLE> m_open;
};

// The device list, FT_GetDeviceInfoDetail and FT_ListDevices name every entry once, alike.
TEST_F(D2xxConformance, EveryListingCallNamesEachEntryOnceWithItsTypeIdTextsAndLocation)
{
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList();
    const std::vector<Entry> entries = defaultBenchEntries();
    ASSERT_EQ(nodes.size(), int(entries.size()));
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.serial);
        int found = 0;
        for (const FT_DEVICE_LIST_INFO_NODE& node : nodes) {
            if (node.SerialNumber != entry.serial)
                continue;
            ++found;
            EXPECT_EQ(node.Type, entry.type);
            EXPECT_EQ(node.ID, entry.id);
            EXPECT_EQ(node.Description, entry.description);
            EXPECT_EQ(node.Flags, entry.flags);
            EXPECT_EQ(node.ftHandle, nullptr);
        }
        EXPECT_EQ(found, 1);
    }
    DWORD count = 0;
    ASSERT_EQ(d2xx.listDevices(&count, nullptr, kNumberOnly), FT_OK);
    EXPECT_EQ(count, DWORD(nodes.size()));
    QVector<QByteArray> buffers(nodes.size(), QByteArray(64, '\0'));
    QVector<char*> pointers;
    for (QByteArray& buffer : buffers)
        pointers.append(buffer.data());
    pointers.append(nullptr);
    ASSERT_EQ(d2xx.listDevices(pointers.data(), &count, kAll | kBySerial), FT_OK);
    EXPECT_EQ(count, DWORD(nodes.size()));
    for (int i = 0; i < nodes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(buffers.at(i).constData(), nodes.at(i).SerialNumber);
        char serial[64] = {};
        char description[64] = {};
        DWORD location = 0;
        void* index = reinterpret_cast<void*>(quintptr(i));
        ASSERT_EQ(d2xx.listDevices(index, serial, kByIndex | kBySerial), FT_OK);
        ASSERT_EQ(d2xx.listDevices(index, description, kByIndex | kByDescription), FT_OK);
        ASSERT_EQ(d2xx.listDevices(index, &location, kByIndex | kByLocation), FT_OK);
        EXPECT_STREQ(serial, nodes.at(i).SerialNumber);
        EXPECT_STREQ(description, nodes.at(i).Description);
        EXPECT_EQ(location, nodes.at(i).LocId);

        DWORD flags = 99, type = 99, id = 0;
        location = 0;
        serial[0] = description[0] = '\0';
        FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(1);
        ASSERT_EQ(d2xx.getDeviceInfoDetail(
                      DWORD(i), &flags, &type, &id, &location, serial, description, &handle),
            FT_OK);
        EXPECT_EQ(flags, nodes.at(i).Flags);
        EXPECT_EQ(type, nodes.at(i).Type);
        EXPECT_EQ(id, nodes.at(i).ID);
        EXPECT_EQ(location, nodes.at(i).LocId);
        EXPECT_STREQ(serial, nodes.at(i).SerialNumber);
        EXPECT_STREQ(description, nodes.at(i).Description);
        EXPECT_EQ(handle, nullptr);
    }

    // The channels of one chip share their location above the low four bits.
    QVector<DWORD> cedar;
    QVector<DWORD> others;
    for (const FT_DEVICE_LIST_INFO_NODE& node : nodes)
        (QByteArray(node.SerialNumber).startsWith(DefaultBench::serial(DefaultBench::Cedar))
                ? cedar
                : others)
            .append(node.LocId);
    ASSERT_EQ(cedar.size(), 2);
    EXPECT_EQ(cedar.at(0) & ~0xFu, cedar.at(1) & ~0xFu);
    for (DWORD location : others)
        EXPECT_NE(location & ~0xFu, cedar.at(0) & ~0xFu)
            << "other chips have locations of their own";
}

TEST_F(D2xxConformance, OpenExFindsAnEntryBySerialDescriptionOrLocation)
{
    const int index = indexOf(QString::fromLatin1(kAlder));
    ASSERT_GE(index, 0);
    QByteArray serial(kAlder);
    QByteArray description(DefaultBench::unit(DefaultBench::Alder)->description.c_str());
    const std::pair<DWORD, void*> ways[]
        = {{kBySerial, serial.data()}, {kByDescription, description.data()},
            {kByLocation, reinterpret_cast<void*>(quintptr(deviceList().at(index).LocId))}};
    for (const auto& [flag, argument] : ways) {
        SCOPED_TRACE(flag);
        FT_HANDLE handle = nullptr;
        ASSERT_EQ(d2xx.openEx(argument, flag, &handle), FT_OK);
        char listed[16] = {};
        FT_DEVICE type = 99;
        EXPECT_EQ(d2xx.getDeviceInfo(handle, &type, nullptr, listed, nullptr, nullptr), FT_OK);
        EXPECT_STREQ(listed, kAlder);
        EXPECT_EQ(type, FT_DEVICE_232R);
        EXPECT_EQ(d2xx.close(handle), FT_OK);
    }
    char unknown[] = "QZAH999999999";
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(d2xx.openEx(unknown, kBySerial, &handle), FT_DEVICE_NOT_FOUND);
}

TEST_F(D2xxConformance, ReadsQueueCountsAndPurgesOfWhatArrived)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
    // A read returns the whole reply and waits out its time-out for more.
    ASSERT_EQ(d2xx.setTimeouts(handle, 100, 100), FT_OK);
    ASSERT_EQ(writeBytes(handle, packet(0x01020304, 0x15)), FT_OK);
    QByteArray buffer(20, '\x7F');
    DWORD got = 99;
    ASSERT_EQ(d2xx.read(handle, buffer.data(), 20, &got), FT_OK);
    EXPECT_EQ(got, 8u);
    EXPECT_EQ(buffer.left(8), packet(0x01020304, 0));
    EXPECT_EQ(buffer.at(8), '\x7F') << "nothing written beyond what arrived";
    ASSERT_EQ(d2xx.read(handle, buffer.data(), 4, &got), FT_OK);
    EXPECT_EQ(got, 0u);

    // The queue counts what arrived and is not yet read: the first bytes of the reply have
    // arrived once a read of them returns.
    ASSERT_EQ(d2xx.setTimeouts(handle, 1000, 1000), FT_OK);
    ASSERT_EQ(writeBytes(handle, packet(7, 0x15)), FT_OK);
    EXPECT_EQ(readBytes(handle, 3), packet(7, 0).left(3));
    DWORD rx = 99, tx = 99, events = 99;
    ASSERT_EQ(d2xx.getQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 5u);
    ASSERT_EQ(d2xx.getStatus(handle, &rx, &tx, &events), FT_OK);
    EXPECT_EQ(rx, 5u);
    EXPECT_EQ(tx, 0u);

    // A purge of both queues discards the rest; the link works on after it.
    ASSERT_EQ(d2xx.purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    ASSERT_EQ(d2xx.getQueueStatus(handle, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    ASSERT_EQ(d2xx.setTimeouts(handle, 100, 100), FT_OK);
    EXPECT_EQ(readBytes(handle, 5), QByteArray());
    ASSERT_EQ(writeBytes(handle, packet(9, 0x15)), FT_OK);
    EXPECT_EQ(readBytes(handle, 8), packet(9, 0));
}

TEST_F(D2xxConformance, SettingsLinesVersionsAndUserAreaOfAnOpenLink)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
    UCHAR latency = 0;
    ASSERT_EQ(d2xx.getLatencyTimer(handle, &latency), FT_OK);
    EXPECT_EQ(latency, 16) << "the chips' default";
    ASSERT_EQ(d2xx.setLatencyTimer(handle, 2), FT_OK);
    ASSERT_EQ(d2xx.getLatencyTimer(handle, &latency), FT_OK);
    EXPECT_EQ(latency, 2);

    EXPECT_EQ(d2xx.setDtr(handle), FT_OK);
    EXPECT_EQ(d2xx.setRts(handle), FT_OK);
    EXPECT_EQ(d2xx.setChars(handle, 0x0A, 1, 0, 0), FT_OK);
    EXPECT_EQ(d2xx.setBreakOn(handle), FT_OK);
    EXPECT_EQ(d2xx.setBreakOff(handle), FT_OK);
    ULONG modem = 0;
    ASSERT_EQ(d2xx.getModemStatus(handle, &modem), FT_OK);
    EXPECT_EQ(modem, 0x30u) << "CTS and DSR from the unit, no line error";
    UCHAR pins = 0;
    ASSERT_EQ(d2xx.getBitMode(handle, &pins), FT_OK);
    EXPECT_EQ(pins, 0xFF);
    EXPECT_EQ(d2xx.resetDevice(handle), FT_OK);

    DWORD version = 0;
    ASSERT_EQ(d2xx.getLibraryVersion(&version), FT_OK);
    EXPECT_EQ(version, 0x00010424u);
    ASSERT_EQ(d2xx.getDriverVersion(handle, &version), FT_OK);
    EXPECT_EQ(version, 0x00010424u);

    DWORD size = 0;
    ASSERT_EQ(d2xx.uaSize(handle, &size), FT_OK);
    ASSERT_GT(size, 4u);
    QByteArray bytes("\x11\x22\x33\x44", 4);
    ASSERT_EQ(d2xx.uaWrite(handle, reinterpret_cast<UCHAR*>(bytes.data()), 4), FT_OK);
    QByteArray back(int(size), '\0');
    DWORD got = 0;
    ASSERT_EQ(d2xx.uaRead(handle, reinterpret_cast<UCHAR*>(back.data()), size, &got), FT_OK);
    EXPECT_EQ(got, size);
    EXPECT_EQ(back.left(4), bytes);
    QByteArray tooLong(int(size) + 1, '\x55');
    EXPECT_NE(d2xx.uaWrite(handle, reinterpret_cast<UCHAR*>(tooLong.data()), size + 1), FT_OK);
}

// The vendor's Linux EVENT_HANDLE.
struct EventHandle
{
    pthread_cond_t eCondVar = PTHREAD_COND_INITIALIZER;
    pthread_mutex_t eMutex = PTHREAD_MUTEX_INITIALIZER;
    int iVar = 0;
};

TEST_F(D2xxConformance, EventNotificationSignalsArrivingBytes)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
    EventHandle event;
    ASSERT_EQ(d2xx.setEventNotification(handle, FT_EVENT_RXCHAR, &event), FT_OK);
    // Holding the event's mutex from before the write, no signal can pass unseen.
    pthread_mutex_lock(&event.eMutex);
    ASSERT_EQ(writeBytes(handle, packet(11, 0x15)), FT_OK);
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += 10;
    const int waited = pthread_cond_timedwait(&event.eCondVar, &event.eMutex, &until);
    pthread_mutex_unlock(&event.eMutex);
    EXPECT_EQ(waited, 0) << "signalled";
    EXPECT_EQ(readBytes(handle, 8), packet(11, 0));
    EXPECT_EQ(d2xx.setEventNotification(handle, 0, nullptr), FT_INVALID_PARAMETER)
        << "an event is needed";
    EXPECT_EQ(d2xx.setEventNotification(handle, 0, &event), FT_OK)
        << "a mask of 0 stops the notification";
}

} // namespace
