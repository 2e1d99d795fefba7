#pragma once

// A scripted socket for protocol tests: bytes the unit "sends" wait in a queue, every write is
// recorded, and an optional responder turns a write into reply bytes. Clones share one state,
// as clones of a real socket share one handle. Short reads throw like the real socket.

#include "Packets.h"
#include "USBDefaultCommRequest.h"
#include "USBISocket.h"
#include "USBResult.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>

class TestPacketProtocolSocket : public USBISocket
{
public:
    struct State
    {
        std::recursive_mutex mutex;
        QByteArray incoming;
        QList<QByteArray> writes;
        std::function<QByteArray(const QByteArray&)> responder;
        // When set, the receive-queue query throws it.
        bool failQueueQuery = false;
        // When set, an empty receive queue times out at once: nothing more can arrive before the
        // host writes again, so a wait could only end in the exchange's time-out.
        bool emptyQueueTimesOut = false;
        int applyTimeoutsCount = 0;
        bool open = false;
    };
    using Lock = std::lock_guard<std::recursive_mutex>;

    TestPacketProtocolSocket() : m_state(std::make_shared<State>()) { }
    explicit TestPacketProtocolSocket(std::shared_ptr<State> state) : m_state(std::move(state)) { }

    // Lock state().mutex while a worker may use the socket (or use the helpers below).
    State& state() { return *m_state; }
    // Queues bytes from the unit.
    void feed(const QByteArray& data)
    {
        Lock lock(m_state->mutex);
        m_state->incoming.append(data);
    }
    void setFailQueueQuery(bool fail)
    {
        Lock lock(m_state->mutex);
        m_state->failQueueQuery = fail;
    }

    std::shared_ptr<USBISocket> clone() const override
    {
        return std::make_shared<TestPacketProtocolSocket>(m_state);
    }
    USBResult open(int) override { return setOpen(true); }
    USBResult close() override { return setOpen(false); }
    void cyclePortAndClose() override { close(); }
    void setThreadPriority(int) override { }
    int threadPriority() const override { return 7; }
    uint32_t deviceIndex() const override { return 0; }
    bool isOpen() const override
    {
        Lock lock(m_state->mutex);
        return m_state->open;
    }
    uint32_t purge() override
    {
        Lock lock(m_state->mutex);
        m_state->incoming.clear();
        return 0;
    }
    void writeByte(uint8_t byte) override { write(QByteArray(1, static_cast<char>(byte))); }
    int write(QByteArray data) override
    {
        Lock lock(m_state->mutex);
        m_state->writes.append(data);
        if (m_state->responder)
            m_state->incoming.append(m_state->responder(data));
        return data.size();
    }
    QByteArray read(int count) override
    {
        QByteArray out(count, '\0');
        readInto(out.data(), count);
        return out;
    }
    void readInto(char* buffer, int count) override
    {
        Lock lock(m_state->mutex);
        const int n = qMin(count, m_state->incoming.size());
        std::copy(m_state->incoming.constBegin(), m_state->incoming.constBegin() + n, buffer);
        m_state->incoming.remove(0, n);
        if (n != count)
            throw USBResult::failure(QStringLiteral("Communication timed out"));
    }
    int bytesAvailable() override
    {
        Lock lock(m_state->mutex);
        if (m_state->failQueueQuery)
            throw USBResult(4u);
        if (m_state->emptyQueueTimesOut && m_state->incoming.isEmpty())
            throw USBResult::failure(QStringLiteral("Communication timed out"));
        return m_state->incoming.size();
    }
    uint32_t applyTimeouts() override { return 0; }
    uint32_t applyTimeoutsAgain() override
    {
        Lock lock(m_state->mutex);
        ++m_state->applyTimeoutsCount;
        return 0;
    }
    void setBlockSize(uint32_t) override { }
    // Nothing under test asks a packet socket for these.
    USBResult status() override { return USBResult(); }
    int readAvailable(QByteArray&, int) override { return 0; }

private:
    USBResult setOpen(bool open)
    {
        Lock lock(m_state->mutex);
        m_state->open = open;
        return USBResult();
    }

    std::shared_ptr<State> m_state;
};

// Packet builders and a scripted request shared by the protocol and bootloader tests.
namespace TestPackets {

// A request whose every property the test chooses; status 0 succeeds, any other fails.
class ScriptedRequest : public USBDefaultCommRequest
{
public:
    explicit ScriptedRequest(uint8_t code, const QByteArray& payload = QByteArray(),
        int replyLength = 0, bool raw = false, int fixedId = 0)
        : m_code(code)
        , m_payload(payload)
        , m_replyLength(replyLength)
        , m_raw(raw)
        , m_fixedId(fixedId)
    { }

    bool isRaw() const override { return m_raw; }
    uint8_t instructionCode() const override { return m_code; }
    QByteArray payload() const override { return m_payload; }
    USBResult checkStatus(uint8_t status) const override
    {
        return status == 0 ? USBResult()
                           : USBResult::failure(QStringLiteral("status %1").arg(status));
    }
    int expectedReplyLength() const override { return m_replyLength; }
    int id() const override { return m_fixedId != 0 ? m_fixedId : USBDefaultCommRequest::id(); }

private:
    uint8_t m_code;
    QByteArray m_payload;
    int m_replyLength;
    bool m_raw;
    int m_fixedId;
};

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// A reply from the unit (status byte) or a request from the host (instruction).
inline QByteArray reply(int id, int status, const QByteArray& payload = QByteArray())
{
    return Packets::packet(static_cast<uint32_t>(id), status, payload);
}

// The request id of a type 5 packet written by the host.
inline int packetId(const QByteArray& packet)
{
    return static_cast<int>(Packets::packetId(packet));
}

} // namespace TestPackets
