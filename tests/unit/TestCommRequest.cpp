#include "TestPacketProtocolSocket.h"

#include "BootloaderCommRequest.h"
#include "KavraDriver_Alder_CommRequest.h"
#include "KavraDriver_Birch_CommRequest.h"
#include "KavraDriver_Cedar_CommRequest.h"
#include "KavraDriver_Generic_CommRequest.h"
#include "KavraDriver_Rowan_CommRequest.h"

#include <gtest/gtest.h>

#include <functional>
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
        {3, corrupted(3), corrupted(3), corrupted(3)},
        {32, busy, corrupted(32), corrupted(32)},
        {91, corrupted(91), corrupted(91), corrupted(91)},
        {100, corrupted(100), corrupted(100), QStringLiteral("HV bus os off")},
        {101, corrupted(101), corrupted(101), QStringLiteral("External USB power is off")},
        {102, corrupted(102), corrupted(102), QStringLiteral("Power supply encountered an error")},
        {255, corrupted(255), corrupted(255), corrupted(255)},
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

TEST(CommRequest, replyLengthTables)
{
    struct Case
    {
        Family family;
        uint32_t instruction;
        int length;
    };
    const Case cases[] = {
        {Alder, 0x20, 0},  {Alder, 0x29, 0},   {Alder, 0x40, 10},  {Alder, 0x41, 1},
        {Alder, 0x42, 14}, {Alder, 0x43, 4},   {Alder, 0x44, 2},   {Alder, 0x45, 150},
        {Alder, 0x46, 5},  {Birch, 0x20, 0},   {Birch, 0x40, 6},   {Birch, 0x41, 4},
        {Cedar, 0x20, 0},  {Cedar, 0x33, 0},   {Cedar, 0x40, 1},   {Cedar, 0x41, 2},
        {Cedar, 0x42, 2},  {Cedar, 0x43, 2},   {Cedar, 0x44, 3},   {Cedar, 0x45, 4},
        {Cedar, 0x46, 2},  {Cedar, 0x47, 2},   {Cedar, 0x48, 150}, {Cedar, 0x49, 10},
        {Cedar, 0x4A, 5},  {Rowan, 0x40, 4},
        // Only the low 8 bits are the instruction byte.
        {Alder, 0x145, 150},
    };
    for (const Case& c : cases) {
        const auto request = familyRequest(c.family, c.instruction);
        EXPECT_EQ(request->expectedReplyLength(), c.length) << c.family << " " << c.instruction;
        EXPECT_EQ(request->instructionCode(), c.instruction & 0xFF);
        EXPECT_FALSE(request->isRaw());
        EXPECT_FALSE(request->isInstruction(static_cast<int>(c.instruction)));
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

TEST(CommRequest, genericTablePerModel)
{
    struct Case
    {
        uint32_t code;
        int byte19; // -1: the model lacks the code
        int byte25;
        int length;
    };
    const Case cases[] = {
        {0, 0x20, 0x20, 0},  {1, -1, 0x21, 0},     {2, 0x21, -1, 0},     {3, -1, 0x22, 0},
        {4, -1, 0x23, 0},    {5, 0x22, 0x24, 0},   {6, 0x23, 0x25, 0},   {7, 0x40, 0x40, 15},
        {8, -1, 0x41, 1},    {9, 0x41, -1, 20},    {10, -1, 0x42, 20},   {11, -1, 0x43, 20},
        {12, 0x42, 0x44, 8},
    };
    const ModelId model19(19, 1);
    const ModelId model25(25, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(KavraDriver_Generic_CommRequest::hasInstruction(c.code, model19), c.byte19 >= 0);
        EXPECT_EQ(KavraDriver_Generic_CommRequest::hasInstruction(c.code, model25), c.byte25 >= 0);
        EXPECT_EQ(KavraDriver_Generic_CommRequest::instructionByte(c.code, model19), qMax(c.byte19, 0));
        EXPECT_EQ(KavraDriver_Generic_CommRequest::instructionByte(c.code, model25), qMax(c.byte25, 0));
        EXPECT_EQ(KavraDriver_Generic_CommRequest::replyLength(c.code), c.length);

        const ModelId model = c.byte19 >= 0 ? model19 : model25;
        const KavraDriver_Generic_CommRequest request(c.code, model);
        EXPECT_EQ(request.instructionCode(), c.byte19 >= 0 ? c.byte19 : c.byte25);
        EXPECT_EQ(request.expectedReplyLength(), c.length);
        EXPECT_TRUE(request.isInstruction(static_cast<int>(c.code)));
        EXPECT_FALSE(request.isInstruction(static_cast<int>(c.code) + 1));
    }
    // Models outside the Generic family have no instruction bytes.
    EXPECT_FALSE(KavraDriver_Generic_CommRequest::hasInstruction(0, ModelId(15, 1)));
    EXPECT_FALSE(KavraDriver_Generic_CommRequest::hasInstruction(0, ModelId(19, 2)));
    EXPECT_FALSE(KavraDriver_Generic_CommRequest::hasInstruction(13, ModelId(19, 1)));
}

TEST(BootloaderRequest, codesRawFlagsAndReplyLengths)
{
    const int binary[] = {0x02, 0x09, 0x03, 0x07, 0x04, 0x08, 0x10, 0x11, 0x12, 0x13, 0x14,
                          0x15, 0x16, 0x17, 0x18, 0x06, 0x0A, 0x19, 0x1A, 0x1B, 0x1C};
    const int character[] = {0, 0, 'E', 0, '*', 0, 'C', 'D', 'd', 'P', 'p',
                             's', 'a', 'A', 'S', 0, 0, 0, 0, 0, 0};
    for (uint32_t i = 0; i <= 20; ++i) {
        SCOPED_TRACE(i);
        const BootloaderCommRequest binaryRequest(1, i, 0);
        const BootloaderCommRequest characterRequest(0, i, 0);
        EXPECT_EQ(binaryRequest.instructionCode(), binary[i]);
        EXPECT_EQ(characterRequest.instructionCode(), character[i]);
        EXPECT_EQ(binaryRequest.isRaw(), i <= 5 || i == 15 || i == 16);
        EXPECT_FALSE(characterRequest.isRaw());
        EXPECT_EQ(binaryRequest.hasVariableReply(), i == 10);
        EXPECT_TRUE(binaryRequest.isInstruction(static_cast<int>(i)));
        EXPECT_TRUE(binaryRequest.payload().isEmpty());
        if (i != 1 && i != 8) {
            EXPECT_EQ(binaryRequest.expectedReplyLength(), i == 17 ? 2 : 0);
        }
    }
    EXPECT_EQ(BootloaderCommRequest(1, 21, 0).instructionCode(), 0);
    EXPECT_EQ(BootloaderCommRequest(2, 2, 0).instructionCode(), 0);
    EXPECT_EQ(BootloaderCommRequest(1, 8, 128).expectedReplyLength(), 130);

    const BootloaderCommRequest first(1, 2, 0);
    const BootloaderCommRequest second(1, 2, 0);
    EXPECT_EQ(second.id(), first.id() + 1);
    EXPECT_FALSE(first.isFinished());
    EXPECT_TRUE(first.result().isSuccess());
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
    for (const Case& c : cases) {
        BootloaderCommRequest request(1, 8, c.pageSize);
        request.setReplyData(c.received);
        EXPECT_EQ(request.hasValidPage(), c.valid) << c.received.toHex().toStdString();
        if (c.valid) {
            EXPECT_EQ(request.replyData(), page);
        }
    }
}

TEST(BootloaderRequest, rawReplyOfPageSizeInstruction)
{
    struct Case
    {
        QByteArray waiting;
        QByteArray kept;
        int left;
    };
    const Case cases[] = {
        {bytes({0x00, 0x80, 0x55}), bytes({0x00, 0x80}), 1},
        {bytes({0xFF, 0x00, 0x80, 0x01, 0x55}), bytes({0xFF, 0x00, 0x80, 0x01}), 1},
    };
    for (const Case& c : cases) {
        auto socket = std::make_shared<TestPacketProtocolSocket>();
        socket->feed(c.waiting);
        BootloaderCommRequest request(1, 10, 0);
        EXPECT_TRUE(request.readRawReply(socket).isSuccess());
        EXPECT_EQ(request.replyData(), c.kept);
        EXPECT_EQ(socket->state().incoming.size(), c.left);
    }

    // A short read throws the socket's failure.
    auto socket = std::make_shared<TestPacketProtocolSocket>();
    socket->feed(bytes({0xFF, 0x00}));
    BootloaderCommRequest request(1, 10, 0);
    EXPECT_THROW(request.readRawReply(socket), USBResult);

    // Other instructions read nothing.
    auto quiet = std::make_shared<TestPacketProtocolSocket>();
    quiet->feed(bytes({1, 2}));
    BootloaderCommRequest other(1, 11, 0);
    EXPECT_TRUE(other.readRawReply(quiet).isSuccess());
    EXPECT_EQ(quiet->state().incoming.size(), 2);
}

} // namespace
