// Byte streams from a unit, through a socket, into the packet protocol's synchronous exchange.
//
// Input: byte 0, bits 0-1: the number of exchanges less one (request ids 101, 102, ...); bit 2:
// the requests take a reply of variable length. Byte 1: the fixed reply length. The rest: what the
// unit sends, in chunks split at ChunkSeparator; the first chunk waits before the first request,
// each request written brings the next.
#include "QuietMessages.h"
#include "TestPacketProtocolSocket.h"
#include "USBPacketProtocol.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

constexpr int FirstId = 101;
constexpr char ChunkSeparator[] = "\xA5\x5A\xA5\x5A";
constexpr int ChunkSeparatorSize = sizeof(ChunkSeparator) - 1;

// The protocol tests' request with the input's id and reply length, its reply fixed or variable.
class FuzzRequest : public TestPackets::ScriptedRequest
{
public:
    FuzzRequest(int id, int replyLength, bool variableReply)
        : ScriptedRequest(0x12, QByteArray(), replyLength, false, id), m_variable(variableReply)
    { }
    bool hasVariableReply() const override { return m_variable; }

private:
    bool m_variable;
};

QList<QByteArray> chunksOf(const QByteArray& bytes)
{
    QList<QByteArray> chunks;
    int from = 0;
    for (;;) {
        const int end = bytes.indexOf(QByteArray(ChunkSeparator, ChunkSeparatorSize), from);
        if (end < 0)
            break;
        chunks.append(bytes.mid(from, end - from));
        from = end + ChunkSeparatorSize;
    }
    chunks.append(bytes.mid(from));
    return chunks;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int exchanges = (data[0] & 0x03) + 1;
    const bool variableReply = (data[0] & 0x04) != 0;
    const int replyLength = data[1];
    const QByteArray stream(reinterpret_cast<const char*>(data + 2), static_cast<int>(size - 2));

    // The first chunk waits before the first request; each write brings the next.
    auto socket = std::make_shared<TestPacketProtocolSocket>();
    auto chunks = std::make_shared<QList<QByteArray>>(chunksOf(stream));
    socket->state().incoming = chunks->takeFirst();
    socket->state().emptyQueueTimesOut = true;
    socket->state().responder = [chunks](const QByteArray&) {
        return chunks->isEmpty() ? QByteArray() : chunks->takeFirst();
    };
    USBPacketProtocol protocol;
    protocol.setSocket(socket);
    for (int i = 0; i < exchanges; ++i) {
        const auto request = std::make_shared<FuzzRequest>(FirstId + i, replyLength, variableReply);
        const USBResult result = protocol.sendRequest(request);
        // Whatever the unit sent, a finished exchange leaves nothing of its own behind: a request
        // still pending or a reply still stored would be matched against a later exchange.
        if (protocol.pendingRequestCount() != 0 || protocol.storedReplyCount() != 0)
            std::abort();
        if (result.isSuccess() && !variableReply && request->replyData().size() != replyLength)
            std::abort();
    }
    protocol.setSocket(nullptr);
    return 0;
}
