#include "TestPacketProtocolSocket.h"

#include "BootloaderCommRequest.h"
#include "KavraDriver_Alder_CommRequest.h"
#include "KavraDriver_Birch_CommRequest.h"
#include "KavraDriver_Cedar_CommRequest.h"
#include "KavraDriver_Generic_CommRequest.h"
#include "KavraDriver_Rowan_CommRequest.h"

#include <gtest/gtest.h>

#include <memory>

using TestPackets::bytes;

namespace {

enum Family { Alder, Birch, Cedar, Rowan };

std::unique_ptr<USBDefaultCommRequest> familyRequest(Family family, uint32_t instruction)
{
    switch (family) {
    case Alder: return std::make_unique<KavraDriver_Alder_CommRequest>(instruction);
    case Birch: return std::make_unique<KavraDriver_Birch_CommRequest>(instruction);
    case Cedar: return std::make_unique<KavraDriver_Cedar_CommRequest>(instruction);
    case Rowan: return std::make_unique<KavraDriver_Rowan_CommRequest>(instruction);
    }
    return nullptr;
}

QString corrupted(int status)
{
    return QStringLiteral("Instruction stream was corrupted (unexpected return value [%1])").arg(status);
}

TEST(CommRequest, statusTablesPerFamily)
{
    const QString notRecognised = QStringLiteral("Instruction was not recognised by target device");
    const QString busy = QStringLiteral("Target device is busy");
    struct Case
    {
        int status;
        QString alderGeneric, birchRowan, cedar;
    };
    const Case cases[] = {
        {0, QString(), QString(), QString()},
        {1, notRecognised, notRecognised, notRecognised},
        {2, busy, busy, busy},
        {32, busy, corrupted(32), corrupted(32)},
        {91, corrupted(91), corrupted(91), corrupted(91)},
        {100, corrupted(100), corrupted(100), QStringLiteral("HV bus os off")},
        {101, corrupted(101), corrupted(101), QStringLiteral("External USB power is off")},
        {102, corrupted(102), corrupted(102), QStringLiteral("Power supply encountered an error")},
    };
    const KavraDriver_Generic_CommRequest generic(0, ModelId(19, 1));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const uint8_t s = static_cast<uint8_t>(c.status);
        const USBResult results[] = {
            familyRequest(Alder, 0x20)->checkStatus(s), generic.checkStatus(s),
            familyRequest(Birch, 0x20)->checkStatus(s), familyRequest(Rowan, 0x40)->checkStatus(s),
            familyRequest(Cedar, 0x20)->checkStatus(s)};
        const QString expected[] = {c.alderGeneric, c.alderGeneric, c.birchRowan, c.birchRowan, c.cedar};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(results[i].isSuccess(), c.status == 0) << i;
            EXPECT_EQ(results[i].message(), expected[i]) << i;
            if (c.status != 0) {
                EXPECT_EQ(results[i].type(), 2);
                EXPECT_EQ(results[i].category(), 3);
                EXPECT_EQ(results[i].code(), 0);
            }
        }
    }
}

TEST(CommRequest, payloadIsReplacedNotAppended)
{
    KavraDriver_Cedar_CommRequest request(0x21);
    EXPECT_TRUE(request.payload().isEmpty());
    request.setPayload(bytes({1, 2, 3}));
    request.setPayload(bytes({4}));
    EXPECT_EQ(request.payload(), bytes({4}));
}

TEST(BootloaderRequest, statusBytes)
{
    const BootloaderCommRequest request(1, 10, 0);
    for (int s : {0, 91, 92})
        EXPECT_TRUE(request.checkStatus(static_cast<uint8_t>(s)).isSuccess()) << s;
    EXPECT_EQ(request.checkStatus(1).message(),
              QStringLiteral("Instruction was not recognised by target device"));
    EXPECT_EQ(request.checkStatus(2).message(), QStringLiteral("Target device is busy"));
    EXPECT_EQ(request.checkStatus(3).message(), QStringLiteral("Device was not unlocked for write"));
    EXPECT_EQ(request.checkStatus(4).message(), corrupted(4));
    EXPECT_EQ(request.checkStatus(93).message(), corrupted(93));
}

TEST(BootloaderRequest, variableReplyIsKeptWhole)
{
    BootloaderCommRequest sizeRequest(1, 10, 0);
    EXPECT_TRUE(sizeRequest.processVariableReply(bytes({0xFF, 0x01, 0x00, 0x01})).isSuccess());
    EXPECT_EQ(sizeRequest.replyData(), bytes({0xFF, 0x01, 0x00, 0x01}));

    // Other instructions ignore a variable reply.
    BootloaderCommRequest other(1, 11, 0);
    EXPECT_TRUE(other.processVariableReply(bytes({1})).isSuccess());
    EXPECT_TRUE(other.replyData().isEmpty());
}

TEST(BootloaderRequest, pageCheck)
{
    struct Case
    {
        uint32_t pageSize;
        QByteArray received;
        bool valid;
    };
    const QByteArray page(4, 'p');
    const Case cases[] = {
        {4, page + bytes({0xFF, 0xFF}), true},
        {4, page + bytes({0xFF, 0xFE}), false},
        {4, page + bytes({0xFE, 0xFF}), false},
        {4, page + bytes({0xFF}), false},
        {4, page + bytes({0xFF, 0xFF, 0xFF}), false},
        {0, bytes({0xFF, 0xFF}), false},
    };
    EXPECT_EQ(BootloaderCommRequest(1, 8, 128).expectedReplyLength(), 130);
    for (const Case& c : cases) {
        BootloaderCommRequest request(1, 8, c.pageSize);
        request.setReplyData(c.received);
        EXPECT_EQ(request.hasValidPage(), c.valid) << c.received.toHex().toStdString();
        if (c.valid) {
            EXPECT_EQ(request.replyData(), page);
        }
    }
}

} // namespace
