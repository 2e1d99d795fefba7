// The same D2XX calls against whichever library KAVRA_D2XX_LIBRARY names: the virtual bench, or
// FTDI's own library under the USB-level bench. Both run on the default bench; what one library
// does and the other does not shows up as a failure of one of the two runs.
#include "D2xxFunctions.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <cstring>
#include <ctime>
#include <memory>

namespace {

// FT_ListDevices and FT_OpenEx flags.
constexpr DWORD kBySerial = 1;
constexpr DWORD kByDescription = 2;
constexpr DWORD kByLocation = 4;
constexpr DWORD kNumberOnly = 0x80000000;
constexpr DWORD kByIndex = 0x40000000;
constexpr DWORD kAll = 0x20000000;

// The entries of the default bench.
struct Entry
{
    const char* serial;
    const char* description;
    DWORD type;
    DWORD id;
};

const Entry kDefaultBench[] = {
    {"QZAH015010001", "Kavra Alder", FT_DEVICE_232R, 0x04036001},
    {"QZAH017010002A", "Kavra Cedar A", FT_DEVICE_2232H, 0x04036010},
    {"QZAH017010002B", "Kavra Cedar B", FT_DEVICE_2232H, 0x04036010},
    {"QZAH019010003", "Kavra Generic", FT_DEVICE_232H, 0x04036014},
    {"QZAH025010004", "Kavra Generic", FT_DEVICE_X_SERIES, 0x04036015},
    {"QZAH040010005", "Kavra Birch", FT_DEVICE_X_SERIES, 0x04036015},
    {"QZAH041010006", "Kavra Rowan", FT_DEVICE_232R, 0x04036001},
};

constexpr const char* kAlder = "QZAH015010001";

// A bootloader request the units answer with an 8-byte echo: type 5, id, instruction 0x15, no data.
QByteArray echoRequest(quint32 id)
{
    QByteArray packet(8, '\0');
    packet[0] = 0x05;
    for (int i = 0; i < 4; ++i)
        packet[1 + i] = char((id >> (8 * i)) & 0xFF);
    packet[5] = 0x15;
    return packet;
}

QByteArray echoReply(quint32 id)
{
    QByteArray reply = echoRequest(id);
    reply[5] = 0;
    return reply;
}

class D2xxConformance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!d2xx.isLoaded())
            GTEST_SKIP() << "no D2XX library at KAVRA_D2XX_LIBRARY (FTDI's is built by "
                            "scripts/setup when the "
                            "npm registry is reachable)";
    }

    // Opens a listed entry; closed again when the test ends.
    FT_HANDLE openListed(const char* serial)
    {
        FT_HANDLE handle = d2xx.openListed(QString::fromLatin1(serial));
        if (handle)
            m_open.emplace_back(handle, [this](void* h) { d2xx.close(h); });
        return handle;
    }

    const D2xxFunctions& d2xx = D2xxFunctions::instance();

private:
    std::vector<std::unique_ptr<void, std::function<void(void*)>>> m_open;
};

TEST_F(D2xxConformance, ListsEveryEntryOnceWithItsTypeIdAndTexts)
{
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = d2xx.deviceList();
    ASSERT_EQ(nodes.size(), int(std::size(kDefaultBench)));
    for (const Entry& entry : kDefaultBench) {
        SCOPED_TRACE(entry.serial);
        int found = 0;
        for (const FT_DEVICE_LIST_INFO_NODE& node : nodes) {
            if (QString::fromLatin1(node.SerialNumber) != QLatin1String(entry.serial))
                continue;
            ++found;
            EXPECT_EQ(node.Type, entry.type);
            EXPECT_EQ(node.ID, entry.id);
            EXPECT_STREQ(node.Description, entry.description);
            EXPECT_EQ(node.Flags & FT_FLAGS_OPENED, 0u);
            EXPECT_EQ(node.ftHandle, nullptr);
        }
        EXPECT_EQ(found, 1);
    }
}

TEST_F(D2xxConformance, ChannelsOfOneChipShareTheirLocationAboveTheLowFourBits)
{
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = d2xx.deviceList();
    QVector<DWORD> cedar;
    QVector<DWORD> others;
    for (const FT_DEVICE_LIST_INFO_NODE& node : nodes)
        (QByteArray(node.SerialNumber).startsWith("QZAH017010002") ? cedar : others)
            .append(node.LocId);
    ASSERT_EQ(cedar.size(), 2);
    EXPECT_EQ(cedar.at(0) & ~0xFu, cedar.at(1) & ~0xFu);
    for (DWORD location : others)
        EXPECT_NE(location & ~0xFu, cedar.at(0) & ~0xFu)
            << "other chips have locations of their own";
}

TEST_F(D2xxConformance, ListDevicesAgreesWithTheDeviceList)
{
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = d2xx.deviceList();
    ASSERT_FALSE(nodes.isEmpty());
    DWORD count = 0;
    ASSERT_EQ(d2xx.listDevices(&count, nullptr, kNumberOnly), FT_OK);
    EXPECT_EQ(count, DWORD(nodes.size()));
    for (int i = 0; i < nodes.size(); ++i) {
        SCOPED_TRACE(i);
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
    }
    QVector<QByteArray> buffers(nodes.size(), QByteArray(64, '\0'));
    QVector<char*> pointers;
    for (QByteArray& buffer : buffers)
        pointers.append(buffer.data());
    pointers.append(nullptr);
    DWORD listed = 0;
    ASSERT_EQ(d2xx.listDevices(pointers.data(), &listed, kAll | kBySerial), FT_OK);
    EXPECT_EQ(listed, DWORD(nodes.size()));
    for (int i = 0; i < nodes.size(); ++i)
        EXPECT_STREQ(buffers.at(i).constData(), nodes.at(i).SerialNumber);
}

TEST_F(D2xxConformance, GetDeviceInfoDetailAgreesWithTheDeviceList)
{
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = d2xx.deviceList();
    ASSERT_FALSE(nodes.isEmpty());
    for (int i = 0; i < nodes.size(); ++i) {
        SCOPED_TRACE(i);
        DWORD flags = 99, type = 99, id = 0, location = 0;
        char serial[16] = {};
        char description[64] = {};
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
}

TEST_F(D2xxConformance, OpenExFindsAnEntryBySerialDescriptionOrLocation)
{
    const int index = d2xx.indexOf(QString::fromLatin1(kAlder));
    ASSERT_GE(index, 0);
    const FT_DEVICE_LIST_INFO_NODE node = d2xx.deviceList().at(index);
    struct Way
    {
        DWORD flag;
        void* argument;
    };
    char serial[] = "QZAH015010001";
    char description[] = "Kavra Alder";
    const Way ways[] = {{kBySerial, serial}, {kByDescription, description},
        {kByLocation, reinterpret_cast<void*>(quintptr(node.LocId))}};
    for (const Way& way : ways) {
        SCOPED_TRACE(way.flag);
        FT_HANDLE handle = nullptr;
        ASSERT_EQ(d2xx.openEx(way.argument, way.flag, &handle), FT_OK);
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

TEST_F(D2xxConformance, ReadReturnsTheWholeReplyAndWaitsOutTheTimeOutForMore)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(d2xx.setTimeouts(handle, 100, 100), FT_OK);
    ASSERT_EQ(d2xx.writeBytes(handle, echoRequest(0x01020304)), FT_OK);
    QByteArray buffer(20, '\x7F');
    DWORD got = 99;
    ASSERT_EQ(d2xx.read(handle, buffer.data(), 20, &got), FT_OK);
    EXPECT_EQ(got, 8u);
    EXPECT_EQ(buffer.left(8), echoReply(0x01020304));
    EXPECT_EQ(buffer.at(8), '\x7F') << "nothing written beyond what arrived";
    ASSERT_EQ(d2xx.read(handle, buffer.data(), 4, &got), FT_OK);
    EXPECT_EQ(got, 0u);
}

TEST_F(D2xxConformance, QueueStatusCountsWhatArrivedAndIsNotYetRead)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(d2xx.setTimeouts(handle, 1000, 1000), FT_OK);
    ASSERT_EQ(d2xx.writeBytes(handle, echoRequest(7)), FT_OK);
    // The first bytes of the reply have arrived once a read of them returns.
    EXPECT_EQ(d2xx.readBytes(handle, 3), echoReply(7).left(3));
    DWORD queued = 99;
    ASSERT_EQ(d2xx.getQueueStatus(handle, &queued), FT_OK);
    EXPECT_EQ(queued, 5u);
    DWORD rx = 99, tx = 99, events = 99;
    ASSERT_EQ(d2xx.getStatus(handle, &rx, &tx, &events), FT_OK);
    EXPECT_EQ(rx, 5u);
    EXPECT_EQ(tx, 0u);
    EXPECT_EQ(d2xx.readBytes(handle, 5), echoReply(7).mid(3));
}

TEST_F(D2xxConformance, PurgeOfTheReceiveQueueDiscardsWhatArrived)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(d2xx.setTimeouts(handle, 100, 100), FT_OK);
    ASSERT_EQ(d2xx.writeBytes(handle, echoRequest(8)), FT_OK);
    EXPECT_EQ(d2xx.readBytes(handle, 1), echoReply(8).left(1));
    ASSERT_EQ(d2xx.purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    DWORD queued = 99;
    ASSERT_EQ(d2xx.getQueueStatus(handle, &queued), FT_OK);
    EXPECT_EQ(queued, 0u);
    EXPECT_EQ(d2xx.readBytes(handle, 7), QByteArray());
    ASSERT_EQ(d2xx.writeBytes(handle, echoRequest(9)), FT_OK);
    EXPECT_EQ(d2xx.readBytes(handle, 8), echoReply(9)) << "the link works on after the purge";
}

TEST_F(D2xxConformance, LatencyTimerReadsBackWhatWasSet)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
    UCHAR latency = 0;
    ASSERT_EQ(d2xx.getLatencyTimer(handle, &latency), FT_OK);
    EXPECT_EQ(latency, 16) << "the chips' default";
    ASSERT_EQ(d2xx.setLatencyTimer(handle, 2), FT_OK);
    ASSERT_EQ(d2xx.getLatencyTimer(handle, &latency), FT_OK);
    EXPECT_EQ(latency, 2);
}

TEST_F(D2xxConformance, ModemLinesAndPins)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
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
}

TEST_F(D2xxConformance, VersionsOfTheLibraryAndTheDriver)
{
    DWORD version = 0;
    ASSERT_EQ(d2xx.getLibraryVersion(&version), FT_OK);
    EXPECT_EQ(version, 0x00010424u);
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(d2xx.getDriverVersion(handle, &version), FT_OK);
    EXPECT_EQ(version, 0x00010424u);
}

TEST_F(D2xxConformance, UserAreaKeepsWhatWasWritten)
{
    FT_HANDLE handle = openListed(kAlder);
    ASSERT_NE(handle, nullptr);
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
    ASSERT_EQ(d2xx.writeBytes(handle, echoRequest(11)), FT_OK);
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += 10;
    const int waited = pthread_cond_timedwait(&event.eCondVar, &event.eMutex, &until);
    pthread_mutex_unlock(&event.eMutex);
    EXPECT_EQ(waited, 0) << "signalled";
    EXPECT_EQ(d2xx.readBytes(handle, 8), echoReply(11));
    EXPECT_EQ(d2xx.setEventNotification(handle, 0, nullptr), FT_INVALID_PARAMETER)
        << "an event is needed";
    EXPECT_EQ(d2xx.setEventNotification(handle, 0, &event), FT_OK)
        << "a mask of 0 stops the notification";
}

} // namespace
