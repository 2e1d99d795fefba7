#include "BenchClient.h"

#include <QMap>

using namespace benchclient;

namespace {

class DefaultBenchIntegrationTest : public BenchTest
{
};

struct UnitCase
{
    const char* serial;
    bool dualChannel;
    // Instruction bytes without reply data, and those with their reply data lengths.
    QVector<int> commands;
    QMap<int, int> reads;
};

QVector<int> range(int first, int last)
{
    QVector<int> bytes;
    for (int b = first; b <= last; ++b)
        bytes.append(b);
    return bytes;
}

QString eepromSerial(FT_HANDLE handle)
{
    FT_DEVICE type = 0;
    if (FT_GetDeviceInfo(handle, &type, nullptr, nullptr, nullptr, nullptr) != FT_OK)
        return QString();
    char manufacturer[32], manufacturerId[16], description[64], serial[16] = {};
    if (type == FT_DEVICE_X_SERIES) {
        FT_EEPROM_X_SERIES x{};
        x.common.deviceType = FT_DEVICE_X_SERIES;
        if (FT_EEPROM_Read(handle, &x, sizeof x, manufacturer, manufacturerId, description, serial) != FT_OK)
            return QString();
    } else {
        FT_PROGRAM_DATA data{};
        data.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
        data.Version = type == FT_DEVICE_232R ? 2 : type == FT_DEVICE_2232H ? 3 : 5;
        data.Manufacturer = manufacturer;
        data.ManufacturerId = manufacturerId;
        data.Description = description;
        data.SerialNumber = serial;
        if (FT_EE_Read(handle, &data) != FT_OK)
            return QString();
    }
    return QString::fromLatin1(serial);
}

TEST_F(DefaultBenchIntegrationTest, EveryUnitIdentifiesItselfAndAnswersItsInstructions)
{
    const UnitCase units[] = {
        {kAlder, false, range(0x20, 0x29), {{0x40, 10}, {0x41, 1}, {0x42, 14}, {0x43, 4}, {0x44, 2}, {0x45, 150}, {0x46, 5}}},
        {kCedar, true, range(0x20, 0x33),
         {{0x40, 1}, {0x41, 2}, {0x42, 2}, {0x43, 2}, {0x44, 3}, {0x45, 4}, {0x46, 2}, {0x47, 2}, {0x48, 150}, {0x49, 10},
          {0x4A, 5}}},
        {kGeneric19, false, {0x20, 0x21, 0x22, 0x23}, {{0x40, 15}, {0x41, 20}, {0x42, 8}}},
        {kGeneric25, false, range(0x20, 0x25), {{0x40, 15}, {0x41, 1}, {0x42, 20}, {0x43, 20}, {0x44, 8}}},
        {kBirch, false, {0x20}, {{0x40, 6}, {0x41, 4}}},
        {kRowan, false, {}, {{0x40, 4}}},
    };
    ASSERT_EQ(deviceList().size(), 7);
    quint32 id = 101;
    for (const UnitCase& unit : units) {
        SCOPED_TRACE(unit.serial);
        const QString listed = QString::fromLatin1(unit.serial) + (unit.dualChannel ? QStringLiteral("B") : QString());
        FT_HANDLE handle = openListed(listed);
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(FT_SetTimeouts(handle, 1000, 1000), FT_OK);
        EXPECT_EQ(eepromSerial(handle), QString::fromLatin1(unit.serial));

        // Identification: the raw entry code gets no answer, then page size, start and the page.
        ASSERT_EQ(writeBytes(handle, QByteArray(1, char(0x03))), FT_OK);
        DWORD rx = 99;
        ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
        EXPECT_EQ(rx, 0u);
        QByteArray page;
        for (int instruction : {0x14, 0x15, 0x12}) {
            ASSERT_EQ(writeBytes(handle, request(++id, quint8(instruction))), FT_OK);
            const QByteArray reply = readReply(handle);
            ASSERT_GE(reply.size(), 8) << "instruction " << instruction;
            EXPECT_EQ(reply.left(5), request(id, 0).left(5));
            EXPECT_EQ(reply.at(5), 0) << "instruction " << instruction;
            if (instruction == 0x14) {
                EXPECT_TRUE(reply.size() == 10 || reply.size() == 12) << reply.toHex().constData();
            } else if (instruction == 0x15) {
                EXPECT_EQ(reply.size(), 8);
            } else {
                page = reply.mid(8);
            }
        }
        ASSERT_GE(page.size(), 2);
        EXPECT_EQ(page.right(2), QByteArray(2, '\xFF'));
        EXPECT_TRUE(page.contains(QByteArray(unit.serial).left(9))) << page.toHex().constData();

        // Reads carry their data; settings with an empty payload are refused but still framed.
        for (auto read = unit.reads.constBegin(); read != unit.reads.constEnd(); ++read) {
            ASSERT_EQ(writeBytes(handle, request(++id, quint8(read.key()))), FT_OK);
            const QByteArray reply = readReply(handle);
            ASSERT_GE(reply.size(), 8) << "instruction " << read.key();
            EXPECT_EQ(reply.at(5), 0) << "instruction " << read.key();
            EXPECT_EQ(reply.size() - 8, read.value()) << "instruction " << read.key();
        }
        for (int instruction : unit.commands) {
            ASSERT_EQ(writeBytes(handle, request(++id, quint8(instruction))), FT_OK);
            const QByteArray reply = readReply(handle);
            EXPECT_EQ(reply.size(), 8) << "instruction " << instruction;
            EXPECT_EQ(reply.mid(1, 4), request(id, 0).mid(1, 4));
        }
        // An instruction the family does not list is refused.
        ASSERT_EQ(writeBytes(handle, request(++id, 0x7E)), FT_OK);
        const QByteArray refused = readReply(handle);
        ASSERT_EQ(refused.size(), 8);
        EXPECT_EQ(refused.at(5), 1);
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
}

} // namespace
