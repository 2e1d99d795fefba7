#include "TestPacketProtocolSocket.h"

#include "Bootloader.h"
#include "BootloaderInfo.h"
#include "USBDevice.h"
#include "USBDriver.h"
#include "USBPacketProtocol.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

using TestPackets::bytes;
using TestPackets::packetId;
using TestPackets::reply;

namespace {

// A unit with one socket: the scripted socket of the protocol tests.
class ScriptedDevice : public USBDevice
{
public:
    explicit ScriptedDevice(std::shared_ptr<TestPacketProtocolSocket> socket)
        : USBDevice(0x04036014, QStringLiteral("QZAH015010001"), QStringLiteral("Kavra unit"))
        , m_socket(std::move(socket))
    { }

    void cycleAllPorts() override { m_socket->cyclePortAndClose(); }
    void purgeAll() override { m_socket->purge(); }
    void purgeSecondary() override { }
    void closeAll() override { m_socket->close(); }
    QVector<std::shared_ptr<USBISocket>> sockets() const override { return {m_socket}; }
    std::shared_ptr<USBISocket> socket(int index) const override
    {
        return index == 0 ? m_socket : nullptr;
    }
    std::shared_ptr<USBISocket> primarySocket() const override { return m_socket; }
    QVector<std::shared_ptr<USBISocket>> secondarySockets() const override { return {}; }
    void applyTimeouts() override { }
    void applyTimeoutsAgain() override { }
    USBResult programEeprom(const EepromSettings&) override { return USBResult(); }

private:
    std::shared_ptr<TestPacketProtocolSocket> m_socket;
};

struct PageEntry
{
    QByteArray name;
    std::array<uint32_t, 4> values;
};

void putWord(QByteArray& page, int offset, int value)
{
    page[offset] = static_cast<char>((value >> 8) & 0xFF);
    page[offset + 1] = static_cast<char>(value & 0xFF);
}

void putText(QByteArray& page, int offset, const QByteArray& text)
{
    for (int i = 0; i < text.size(); ++i)
        page[offset + i] = text[i];
}

// An identification page as a unit's bootloader lays it out.
QByteArray makePage(int format, const QByteArray& serial, int size = 128,
    const QList<PageEntry>& entries = {}, bool endMarker = true)
{
    QByteArray page(size, '\0');
    putText(page, 0, bytes({0x35, 0x72, 0xD1}));
    page[3] = static_cast<char>(format);
    putText(page, 4, "HV supply \xE9tage");
    putText(page, 44, serial);
    putWord(page, 60, 0x0102);
    putWord(page, 62, 0x0304);
    const int versions[] = {0x0A0B, 0x0C0D, 3, 4, 0xFFFF};
    for (int i = 0; i < 5; ++i)
        putWord(page, 64 + 2 * i, versions[i]);
    if (format == 2) {
        putWord(page, 74, 0x1234);
        int offset = 76;
        for (const PageEntry& entry : entries) {
            if (offset + 25 > size)
                break;
            page[offset] = 1;
            putText(page, offset + 1, entry.name);
            for (int i = 0; i < 4; ++i)
                putWord(page, offset + 17 + 2 * i, static_cast<int>(entry.values[i]));
            offset += 25;
        }
        if (offset < size)
            page[offset] = endMarker ? 0 : 1;
    }
    return page;
}

class BootloaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_socket = std::make_shared<TestPacketProtocolSocket>();
        m_device = std::make_shared<ScriptedDevice>(m_socket);
        ASSERT_TRUE(m_driver.open(m_device, 500000).isSuccess());
        m_device->setVersionInfo(-1, -2);
    }

    // The unit answers the three identification instructions.
    void unitAnswers(
        const QByteArray& sizeReply, const QByteArray& pageReply, int prepareStatus = 0)
    {
        m_socket->state().responder = [=](const QByteArray& written) {
            if (written.size() < 8 || written.at(0) != 0x05)
                return QByteArray();
            const int id = packetId(written);
            switch (static_cast<uint8_t>(written.at(5))) {
            case 0x14:
                return reply(id, 0, sizeReply);
            case 0x15:
                return reply(id, prepareStatus, QByteArray());
            case 0x12:
                return reply(id, 0, pageReply);
            default:
                return reply(id, 1, QByteArray());
            }
        };
    }

    USBResult read(BootloaderInfo& info, bool* pageFlag = nullptr)
    {
        return Bootloader().readIdentification(m_driver, info, pageFlag);
    }

    std::shared_ptr<TestPacketProtocolSocket> m_socket;
    std::shared_ptr<ScriptedDevice> m_device;
    USBDriver m_driver{std::make_shared<USBPacketProtocol>()};
};

const QByteArray Trailer = bytes({0xFF, 0xFF});

TEST_F(BootloaderTest, firstInstructionIsOneBareByte)
{
    EXPECT_TRUE(Bootloader().firstInstruction(m_driver).isSuccess());
    ASSERT_EQ(m_socket->state().writes.size(), 1);
    EXPECT_EQ(m_socket->state().writes[0], bytes({0x03}));

    m_driver.close();
    EXPECT_EQ(
        Bootloader().firstInstruction(m_driver).message(), QStringLiteral("No device is open"));
}

TEST_F(BootloaderTest, pageSizeFormsAndFailedReads)
{
    // A good read first, so that a failed one has something to leave alone.
    unitAnswers(bytes({0x00, 0x80}), makePage(1, "QZAH015010001") + Trailer);
    BootloaderInfo previous;
    ASSERT_TRUE(read(previous).isSuccess());
    const char* const corrupt = "Data from device is corrupt";
    struct Case
    {
        QByteArray sizeReply;
        int pageSize; // of the page the unit sends
        bool flag;
        QByteArray pageEnd = Trailer;
        int prepareStatus = 0;
        const char* failure = nullptr; // the read fails with this text and stores nothing
        int writes = 3; // page size, prepare, page
    };
    const Case cases[] = {
        {bytes({0x00, 0x80}), 128, false},
        {bytes({0xFF, 0x00, 0x80, 0x01}), 128, true},
        {bytes({0xFF, 0x00, 0x80, 0xFE}), 128, false},
        {bytes({0x01, 0x02}), 258, false},
        {bytes({0xFF, 0x01, 0x02, 0x03}), 258, true},
        {bytes({0x00, 0x80}), 128, false, Trailer, 91}, // 91 passes like 0
        // Sizes that do not decode: nothing after the page-size instruction is sent.
        {QByteArray(), 0, false, Trailer, 0, corrupt, 1},
        {bytes({0x80}), 0, false, Trailer, 0, corrupt, 1},
        {bytes({0x00, 0x80, 0x00}), 0, false, Trailer, 0, corrupt, 1},
        {bytes({0x00, 0x00, 0x80, 0x01}), 0, false, Trailer, 0, corrupt, 1},
        {bytes({0xFF, 0, 0x80, 1, 0}), 0, false, Trailer, 0, corrupt, 1},
        {bytes({0x00, 0x00}), 0, false, Trailer, 0, corrupt},
        {bytes({0x00, 0x80}), 128, false, bytes({0xFF, 0xFE}), 0, corrupt},
        {bytes({0x00, 0x80}), 128, false, bytes({0xFE, 0xFF}), 0, corrupt},
        {bytes({0x00, 0x80}), 128, false, bytes({0xFF}), 0, "Unexpected packet length."},
        {bytes({0x00, 0x80}), 128, false, Trailer, 2, "Target device is busy", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sizeReply.toHex().toStdString() + " " + c.pageEnd.toHex().toStdString() + " "
            + std::to_string(c.prepareStatus));
        m_socket->state().writes.clear();
        m_device->setVersionInfo(-1, -2);
        const QByteArray page
            = c.pageSize ? makePage(1, "QZBH015010002", c.pageSize) : QByteArray();
        unitAnswers(c.sizeReply, page + c.pageEnd, c.prepareStatus);
        BootloaderInfo info = previous;
        bool flag = !c.flag;
        // Left over from before identification; read as a packet it would corrupt the stream.
        m_socket->feed(bytes({0x06, 0x06, 0x06}));

        const USBResult result = read(info, &flag);

        ASSERT_EQ(m_socket->state().writes.size(), c.writes);
        if (c.failure) {
            EXPECT_EQ(result.message().toStdString(), c.failure);
            if (c.writes == 1) {
                EXPECT_EQ(flag, !c.flag) << "no size, no flag";
            }
            EXPECT_EQ(info.serialNumber(), QStringLiteral("QZAH015010001"));
            EXPECT_EQ(m_device->versionInfo(), qMakePair(-1, -2));
            continue;
        }
        ASSERT_TRUE(result.isSuccess()) << result.text().toStdString();
        EXPECT_EQ(flag, c.flag);
        EXPECT_EQ(info.serialNumber(), QStringLiteral("QZBH015010002"));
        // Three packets without payload.
        const uint8_t codes[] = {0x14, 0x15, 0x12};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(m_socket->state().writes[i].size(), 8);
            EXPECT_EQ(static_cast<uint8_t>(m_socket->state().writes[i].at(5)), codes[i]);
        }
    }
}

TEST_F(BootloaderTest, pageFormatsSerialNumbersAndPagesThatDoNotDecode)
{
    const PageEntry first{"channel one", {1, 2, 3, 0xFFFF}};
    const PageEntry second{QByteArray("sixteen-char-nam"), {0x0100, 0, 0, 0x8000}};
    struct Case
    {
        int format;
        QByteArray serial;
        bool valid;
        int size = 128;
        int damagedByte = -1; // set to 3: the magic's last byte (2) or the format (3)
        QList<PageEntry> entries = {}; // format 2
        bool endMarker = true;
    };
    const Case cases[] = {
        {1, "QZAH015010001", true},
        {2, "QZAH015010001", true},
        {1, "QZBH015010001", false},
        {2, "QZBH015010001", true},
        {1, "qzap1", true},
        {2, "QzXh1", true},
        {1, "QZAX015010001", false},
        {2, "QZBX015010001", false},
        {1, "QZAH", false},
        {2, "QZH", false},
        {2, "XZAH015010001", false},
        {1, "", false},
        // The text ends at its first NUL.
        {1, QByteArray("QZA\0H0150", 9), false},
        // The minimum size is enough; a shorter page, a damaged magic or format decode nothing.
        {1, "QZAH015010001", true, 100},
        {1, "QZAH015010001", false, 99},
        {1, "QZAH015010001", false, 128, 2},
        {1, "QZAH015010001", false, 128, 3},
        {2, "QZAH015010001", true, 128, -1, {first}},
        {2, "QZAH015010001", true, 128, -1, {first, second}},
        // The page ends right after the second entry: no end marker is needed.
        {2, "QZAH015010001", true, 126, -1, {first, second}},
        // A marker 1 whose entry the page cannot hold ends the list.
        {2, "QZAH015010001", true, 110, -1, {first}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial.toStdString() + " format " + std::to_string(c.format) + " size "
            + std::to_string(c.size) + " damaged " + std::to_string(c.damagedByte) + " entries "
            + std::to_string(c.entries.size()));
        QByteArray page = makePage(c.format, c.serial, c.size, c.entries, c.endMarker);
        if (c.damagedByte >= 0)
            page[c.damagedByte] = 3;
        unitAnswers(bytes({0x00, c.size}), page + Trailer);
        m_device->setVersionInfo(-1, -2);
        BootloaderInfo info;

        ASSERT_TRUE(read(info).isSuccess());

        EXPECT_EQ(info.isValid(), c.valid);
        const bool decodes = c.size >= 100 && c.damagedByte < 0;
        // The decoded fields stay even when the serial number is refused.
        EXPECT_EQ(
            info.serialNumber(), decodes ? QString::fromLatin1(c.serial.constData()) : QString());
        EXPECT_EQ(info.hardwareVersion(), decodes ? 0x0A0Bu : 0u);
        const QList<BootloaderInfo::Entry> entries = info.entries();
        ASSERT_EQ(entries.size(), c.entries.size());
        for (int i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].name, QString::fromLatin1(c.entries[i].name));
            EXPECT_EQ(entries[i].values, c.entries[i].values);
        }
        if (!decodes)
            continue;
        EXPECT_EQ(m_device->versionInfo(), qMakePair(0x0A0B, 0x0C0D));
        EXPECT_EQ(info.recordKind(), 1u);
        EXPECT_EQ(info.identityText(), QString::fromLatin1("HV supply \xE9tage"));
        EXPECT_EQ(info.headerWord1(), 0x0102u);
        EXPECT_EQ(info.headerWord2(), 0x0304u);
        const std::array<uint32_t, 5> versions{0x0A0B, 0x0C0D, 3, 4, 0xFFFF};
        EXPECT_EQ(info.versionWords(), versions);
        EXPECT_EQ(info.extraWord(), c.format == 2 ? 0x1234u : 0u);
    }
}

} // namespace
