// The packet protocol's synchronous exchange on a scripted socket: exact bytes, reply matching,
// failures and what the reader keeps afterwards.

#include "TestPacketProtocolSocket.h"

#include "KavraDriver_Alder_CommRequest.h"
#include "USBPacketProtocol.h"

#include <gtest/gtest.h>

using TestPackets::bytes;
using TestPackets::packetId;
using TestPackets::reply;
using TestPackets::ScriptedRequest;

namespace {

class PacketProtocolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_socket = std::make_shared<TestPacketProtocolSocket>();
        m_protocol.setSocket(m_socket);
    }

    // The unit answers every request packet with the given status and payload.
    void answerWith(int status, const QByteArray& payload)
    {
        m_socket->state().responder = [status, payload](const QByteArray& written) {
            return written.at(0) == 0x05 ? reply(packetId(written), status, payload) : QByteArray();
        };
    }

    std::shared_ptr<TestPacketProtocolSocket> m_socket;
    USBPacketProtocol m_protocol;
};

TEST_F(PacketProtocolTest, exactBytesOfEachRequestKindOnAClonedSocket)
{
    answerWith(0, QByteArray());
    EXPECT_EQ(m_socket->state().applyTimeoutsCount, 1);
    // Header (type 5, id, instruction, payload length) and payload in one write.
    auto request = std::make_shared<ScriptedRequest>(0x40, bytes({1, 2}), 0, false, 101);
    EXPECT_TRUE(m_protocol.sendRequest(request).isSuccess());
    EXPECT_NE(m_protocol.socket().get(), m_socket.get());
    // Without payload: the eight-byte header alone, with the request's own id.
    auto bare = std::make_shared<KavraDriver_Alder_CommRequest>(0x20);
    EXPECT_TRUE(m_protocol.sendRequest(bare).isSuccess());
    EXPECT_TRUE(bare->isFinished());
    // A raw request: its code, then its payload, and nothing is read.
    m_socket->state().responder = nullptr;
    m_socket->feed(bytes({0x06, 0x06}));
    auto raw = std::make_shared<ScriptedRequest>(0x03, bytes({0xAA, 0xBB}), 0, true);
    EXPECT_TRUE(m_protocol.sendRequest(raw).isSuccess());
    EXPECT_TRUE(raw->isFinished());
    EXPECT_EQ(m_socket->state().writes,
        (QList<QByteArray>{bytes({0x05, 0x65, 0, 0, 0, 0x40, 0x02, 0x00, 0x01, 0x02}),
            reply(bare->id(), 0x20), bytes({0x03}), bytes({0xAA, 0xBB})}));
    EXPECT_EQ(m_socket->state().incoming.size(), 2);
}

TEST_F(PacketProtocolTest, payloadLengthLimit)
{
    // The largest payload whose length the header can carry goes out whole.
    auto largest = std::make_shared<ScriptedRequest>(0x40, QByteArray(0xFFFF, 'x'), 0);
    answerWith(0, QByteArray());
    EXPECT_TRUE(m_protocol.sendRequest(largest).isSuccess());
    ASSERT_EQ(m_socket->state().writes.size(), 1);
    EXPECT_EQ(m_socket->state().writes[0].size(), 8 + 0xFFFF);
    EXPECT_EQ(m_socket->state().writes[0].mid(6, 2), bytes({0xFF, 0xFF}));

    // One byte more would go out with a lying length field: refused, nothing written.
    auto tooLong = std::make_shared<ScriptedRequest>(0x40, QByteArray(0x10000, 'x'), 0);
    const USBResult result = m_protocol.sendRequest(tooLong);
    EXPECT_FALSE(result.isSuccess());
    EXPECT_EQ(result.message(), QString::fromLatin1(USBPacketProtocol::PayloadTooLongText));
    EXPECT_EQ(tooLong->result().message(), result.message());
    EXPECT_EQ(m_socket->state().writes.size(), 1);
    EXPECT_EQ(m_protocol.pendingRequestCount(), 0);
}

TEST_F(PacketProtocolTest, replyFoundAmongOtherPackets)
{
    auto request = std::make_shared<ScriptedRequest>(0x41, QByteArray(), 3);
    m_socket->state().responder = [](const QByteArray& written) {
        const int id = packetId(written);
        return bytes({0x07, 0x00}) // an empty short stream packet
            + bytes({0x07, 0x02, 0x11, 0x22}) // and one with payload
            // A stream packet of 256 bytes: its length takes both bytes of its field.
            + bytes({0x08, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00, 0x01}) + QByteArray(256, 'z')
            + reply(id + 1000, 0, bytes({9, 9})) // nobody waits for it
            + reply(id, 0, bytes({7, 8, 9})) // ours
            + reply(id + 2000, 0, QByteArray()); // left unread
    };

    const USBResult result = m_protocol.sendRequest(request);

    EXPECT_TRUE(result.isSuccess()) << result.text().toStdString();
    EXPECT_EQ(request->replyData(), bytes({7, 8, 9}));
    // The reader stops at the stored reply; what follows waits on the socket.
    EXPECT_EQ(m_socket->state().incoming, reply(request->id() + 2000, 0, QByteArray()));
    EXPECT_EQ(m_protocol.pendingRequestCount(), 0);
    EXPECT_EQ(m_protocol.storedReplyCount(), 0);
}

TEST_F(PacketProtocolTest, replyLengthMustMatchAndAMismatchCostsOnlyItsOwnExchange)
{
    struct Case
    {
        int sent;
        int lengthField;
        bool ok;
    };
    // Alder instruction 0x45 answers with exactly 150 bytes. A length field shorter than the data
    // leaves the rest of it on the link, where the next exchange must not read it.
    for (const Case& c : {Case{149, 149, false}, Case{151, 151, false}, Case{0, 0, false},
             Case{150, 149, false}, Case{150, 0, false}, Case{150, 150, true}}) {
        SCOPED_TRACE(c.sent);
        SCOPED_TRACE(c.lengthField);
        auto request = std::make_shared<KavraDriver_Alder_CommRequest>(0x45);
        m_socket->state().responder = [c](const QByteArray& written) {
            QByteArray answer = reply(packetId(written), 0, QByteArray(c.sent, 'r'));
            answer[6] = static_cast<char>(c.lengthField & 0xFF);
            answer[7] = static_cast<char>(c.lengthField >> 8);
            return answer;
        };

        const USBResult result = m_protocol.sendRequest(request);

        EXPECT_EQ(result.isSuccess(), c.ok);
        EXPECT_EQ(request->result().isSuccess(), c.ok);
        EXPECT_EQ(request->replyData().size(), c.ok ? 150 : 0);
        if (!c.ok) {
            EXPECT_EQ(result.message(), QStringLiteral("Unexpected packet length."));
        }
        auto next = std::make_shared<KavraDriver_Alder_CommRequest>(0x45);
        answerWith(0, QByteArray(150, 'n'));
        EXPECT_TRUE(m_protocol.sendRequest(next).isSuccess());
        EXPECT_EQ(next->replyData(), QByteArray(150, 'n'));
    }
}

TEST_F(PacketProtocolTest, brokenStreamEndsTheExchangeAndDropsReadState)
{
    struct Case
    {
        const char* name;
        QByteArray stream;
        bool failQueueQuery;
        const char* text;
    };
    const Case cases[] = {
        {"type 6", bytes({0x06, 0, 0, 0}), false,
            "Communication stream is corrupted: first byte 0x06, expected 0x05"},
        {"type 8 header", bytes({0x08, 0x00, 0x04, 0x00, 0x08, 0x00, 0x05, 0x00}), false,
            "Header checksum (00010000) failed."},
        {"type 8 high bits", bytes({0x08, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0xF0}), false,
            "Header checksum (f0000000) failed."},
        {"short payload", bytes({0x07, 0x05, 1, 2}), false, "Communication timed out"},
        {"queue query", QByteArray(), true, "Communication error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto request = std::make_shared<ScriptedRequest>(0x40, QByteArray(), 0);
        const QByteArray stream = c.stream;
        m_socket->state().responder = [stream](const QByteArray&) { return stream; };
        m_socket->state().failQueueQuery = c.failQueueQuery;

        const USBResult result = m_protocol.sendRequest(request);

        EXPECT_EQ(result.message().toStdString(), c.text);
        EXPECT_EQ(request->result().message().toStdString(), c.text);
        EXPECT_EQ(m_protocol.pendingRequestCount(), 0);
        EXPECT_EQ(m_protocol.storedReplyCount(), 0);

        m_socket->state().failQueueQuery = false;
        m_socket->state().incoming.clear();
    }

    // A good exchange afterwards starts from a clean reader.
    auto request = std::make_shared<ScriptedRequest>(0x40, QByteArray(), 1);
    answerWith(0, bytes({5}));
    EXPECT_TRUE(m_protocol.sendRequest(request).isSuccess());
}

TEST_F(PacketProtocolTest, lateReplyAfterTimeOutIsDropped)
{
    auto lost = std::make_shared<ScriptedRequest>(0x41, QByteArray(), 1);
    const USBResult timedOut = m_protocol.sendRequest(lost);

    EXPECT_EQ(timedOut.message(), QStringLiteral("Communication timed out"));
    EXPECT_EQ(m_protocol.pendingRequestCount(), 0);

    // The late reply arrives just before the next one, with different data.
    const int lostId = lost->id();
    m_socket->state().responder = [lostId](const QByteArray& written) {
        return reply(lostId, 0, bytes({0xEE})) + reply(packetId(written), 0, bytes({0x01}));
    };
    auto next = std::make_shared<ScriptedRequest>(0x41, QByteArray(), 1);
    EXPECT_TRUE(m_protocol.sendRequest(next).isSuccess());
    EXPECT_EQ(next->replyData(), bytes({0x01}));
    EXPECT_TRUE(lost->replyData().isEmpty());
    EXPECT_EQ(m_protocol.storedReplyCount(), 0);
}

} // namespace
