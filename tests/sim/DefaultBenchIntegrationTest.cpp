#include "BenchClient.h"

using namespace benchclient;

namespace {

class DefaultBenchIntegrationTest : public BenchTest
{
};

QByteArray eepromSerial(FT_HANDLE handle)
{
    FT_DEVICE type = 0;
    if (FT_GetDeviceInfo(handle, &type, nullptr, nullptr, nullptr, nullptr) != FT_OK)
        return QByteArray();
    Eeprom eeprom(type == FT_DEVICE_X_SERIES ? 0 : type == FT_DEVICE_232R ? 2 : type == FT_DEVICE_2232H ? 3 : 5);
    return eeprom.read(handle) == FT_OK ? QByteArray(eeprom.serial) : QByteArray();
}

// As a host enumerates: every listed unit (channel B of the dual chip) opens, gives its serial
// from the EEPROM, answers the identification sequence and refuses a byte its family lacks.
TEST_F(DefaultBenchIntegrationTest, EveryUnitIdentifiesItself)
{
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList();
    ASSERT_EQ(nodes.size(), 7);
    quint32 id = 101;
    int identified = 0;
    for (const FT_DEVICE_LIST_INFO_NODE& node : nodes) {
        const QByteArray listed(node.SerialNumber);
        if (listed.endsWith('A'))
            continue;
        SCOPED_TRACE(node.SerialNumber);
        const QByteArray serial = listed.left(13);
        FT_HANDLE handle = openListed(QString::fromLatin1(listed));
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(FT_SetTimeouts(handle, 1000, 1000), FT_OK);
        EXPECT_EQ(eepromSerial(handle), serial);

        // The raw entry code gets no answer; then page size, start and the page.
        ASSERT_EQ(writeBytes(handle, QByteArray(1, char(0x03))), FT_OK);
        DWORD rx = 99;
        ASSERT_EQ(FT_GetQueueStatus(handle, &rx), FT_OK);
        EXPECT_EQ(rx, 0u);
        QByteArray replies[3];
        const quint8 instructions[] = {0x14, 0x15, 0x12};
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(writeBytes(handle, request(++id, instructions[i])), FT_OK);
            replies[i] = readReply(handle);
            ASSERT_GE(replies[i].size(), 8) << "instruction " << int(instructions[i]);
            EXPECT_EQ(replies[i].left(5), request(id, 0).left(5));
            EXPECT_EQ(replies[i].at(5), 0) << "instruction " << int(instructions[i]);
        }
        EXPECT_EQ(replies[0].size(), 10);
        EXPECT_EQ(replies[1].size(), 8);
        const QByteArray page = replies[2].mid(8);
        EXPECT_EQ(page.right(2), QByteArray(2, '\xFF'));
        EXPECT_TRUE(page.contains(serial.left(9))) << page.toHex().constData();

        ASSERT_EQ(writeBytes(handle, request(++id, 0x7E)), FT_OK);
        const QByteArray refused = readReply(handle);
        ASSERT_EQ(refused.size(), 8);
        EXPECT_EQ(refused.at(5), 1);
        EXPECT_EQ(FT_Close(handle), FT_OK);
        ++identified;
    }
    EXPECT_EQ(identified, 6);
}

} // namespace
