#include "FirmwareUnit.h"

#include "WireBytes.h"

#include <QJsonArray>

namespace {

const char kRequestType = 0x05;
const char kBootloaderEntry = 0x03;
const int kHeaderSize = 8;

QString instructionKey(int instruction)
{
    return QStringLiteral("0x%1").arg(instruction, 2, 16, QLatin1Char('0'));
}

int parseField(const QString& serial, int from, int count)
{
    bool ok = false;
    const int value = serial.mid(from, count).toInt(&ok, 10);
    return ok ? value : 0;
}

} // namespace

FirmwareUnit::FirmwareUnit(
    const QJsonObject& config, const QString& family, const QList<int>& defaultVersionWords)
    : m_config(config)
    , m_serial(config.value(QStringLiteral("serial")).toString())
    , m_family(family)
    , m_product(m_serial.size() >= 9 ? parseField(m_serial, 4, 3) : 0)
    , m_revision(m_serial.size() >= 9 ? parseField(m_serial, 7, 2) : 0)
    , m_page(config, m_serial, defaultVersionWords)
{
    // At least a type 7 header must fit; larger blocks are capped to keep a garbled bench sane.
    m_streamBlockSize
        = qBound(2, config.value(QStringLiteral("streamBlockSize")).toInt(512), 1 << 20);
}

QList<QByteArray> FirmwareUnit::receive(int channel, const QByteArray& bytes)
{
    if (channel == 0)
        return receiveCommands(bytes);
    if (channel == 1)
        return receiveStream(bytes);
    return {};
}

QList<QByteArray> FirmwareUnit::receiveCommands(const QByteArray& bytes)
{
    QList<QByteArray> replies;
    m_commandBuffer.append(bytes);
    int pos = 0;
    while (pos < m_commandBuffer.size()) {
        const char first = m_commandBuffer.at(pos);
        if (first == kBootloaderEntry) {
            // The raw bootloader entry code travels without a header and gets no answer.
            ++m_bootloaderEntries;
            ++pos;
            continue;
        }
        if (first != kRequestType) {
            // Not the start of a request: drop it and look for the next one.
            ++m_ignoredBytes;
            ++pos;
            continue;
        }
        if (m_commandBuffer.size() - pos < kHeaderSize)
            break;
        const int length = WireBytes::word(m_commandBuffer, pos + 6);
        if (m_commandBuffer.size() - pos < kHeaderSize + length)
            break;
        replies.append(answerPacket(m_commandBuffer.mid(pos, kHeaderSize + length)));
        pos += kHeaderSize + length;
    }
    m_commandBuffer.remove(0, pos);
    return replies;
}

QByteArray FirmwareUnit::answerPacket(const QByteArray& packet)
{
    const quint8 instruction = static_cast<quint8>(packet.at(5));
    const QByteArray data = packet.mid(kHeaderSize);
    ++m_instructionCounts[instruction];
    m_lastPayloads[instruction] = data;

    Reply reply;
    const auto override = m_statusOverrides.constFind(instruction);
    if (override != m_statusOverrides.constEnd())
        reply.status = static_cast<quint8>(override.value());
    else if (instruction < FirstFamilyInstruction)
        reply = handleBootloader(instruction, data);
    else
        reply = handleInstruction(instruction, data);
    if (reply.status != 0 && override == m_statusOverrides.constEnd())
        reply.data.clear();
    m_lastStatus[instruction] = reply.status;

    QByteArray out = packet.left(5); // type byte and the request's id, unchanged
    out.append(static_cast<char>(reply.status));
    WireBytes::appendWord(out, reply.data.size());
    out.append(reply.data);
    return out;
}

FirmwareUnit::Reply FirmwareUnit::handleBootloader(quint8 instruction, const QByteArray& data)
{
    if (!data.isEmpty())
        return rejected();
    switch (instruction) {
    case ReadPageSize:
        return ok(m_page.pageSizeReply());
    case PreparePage:
        return ok();
    case ReadPage:
        return ok(m_page.pageReply());
    default:
        return rejected();
    }
}

FirmwareUnit::Reply FirmwareUnit::handleInstruction(quint8, const QByteArray&)
{
    return rejected();
}

void FirmwareUnit::addFamilyState(QJsonObject&) const { }

void FirmwareUnit::setStatusOverride(int instruction, int status)
{
    if (status < 0)
        m_statusOverrides.remove(instruction & 0xFF);
    else
        m_statusOverrides.insert(instruction & 0xFF, status & 0xFF);
}

QList<QByteArray> FirmwareUnit::receiveStream(const QByteArray& bytes)
{
    QList<QByteArray> blocks;
    for (char byte : bytes) {
        if (byte == 0)
            blocks.append(streamBlock());
        else
            ++m_ignoredBytes;
    }
    return blocks;
}

QByteArray FirmwareUnit::streamBlock()
{
    // One block is exactly m_streamBlockSize bytes: type 8 packets as long as one fits, and a
    // type 7 packet for a remainder below a type 8 header. The payload is a running byte counter
    // that continues from block to block, so a reader can see lost or repeated data.
    QByteArray block;
    block.reserve(m_streamBlockSize);
    auto appendPayload = [this, &block](int count) {
        for (int i = 0; i < count; ++i)
            block.append(static_cast<char>(m_streamCounter++));
    };
    int remaining = m_streamBlockSize;
    while (remaining > 0) {
        if (remaining >= kHeaderSize) {
            int payload = qMin(remaining - kHeaderSize, 0xFFFF);
            // Never leave a single byte behind: no packet is one byte long.
            if (remaining - kHeaderSize - payload == 1)
                --payload;
            QByteArray header;
            header.append('\x08');
            header.append('\0');
            WireBytes::appendWord(header, payload);
            block.append(header);
            block.append(header);
            appendPayload(payload);
            remaining -= kHeaderSize + payload;
        } else {
            const int payload = remaining - 2;
            block.append('\x07');
            block.append(static_cast<char>(payload));
            appendPayload(payload);
            remaining = 0;
        }
    }
    ++m_streamBlocks;
    return block;
}

QJsonObject FirmwareUnit::state() const
{
    QJsonObject state;
    state.insert(QStringLiteral("serial"), m_serial);
    state.insert(QStringLiteral("family"), m_family);
    state.insert(QStringLiteral("model"),
        QJsonObject{
            {QStringLiteral("product"), m_product}, {QStringLiteral("revision"), m_revision}});
    QJsonArray versions;
    for (int word : m_page.versionWords())
        versions.append(word);
    state.insert(QStringLiteral("versionWords"), versions);
    state.insert(QStringLiteral("pageSize"), m_page.pageSize());
    state.insert(QStringLiteral("pageFormat"), m_page.format());
    state.insert(QStringLiteral("pageFault"), m_page.fault());
    state.insert(QStringLiteral("bootloaderEntries"), m_bootloaderEntries);
    state.insert(QStringLiteral("ignoredBytes"), m_ignoredBytes);
    state.insert(QStringLiteral("pendingBytes"), m_commandBuffer.size());
    state.insert(QStringLiteral("streamBlocks"), m_streamBlocks);
    state.insert(QStringLiteral("streamBlockSize"), m_streamBlockSize);

    QJsonObject counts;
    QJsonObject payloads;
    QJsonObject statuses;
    int total = 0;
    for (auto it = m_instructionCounts.constBegin(); it != m_instructionCounts.constEnd(); ++it) {
        counts.insert(instructionKey(it.key()), it.value());
        total += it.value();
    }
    for (auto it = m_lastPayloads.constBegin(); it != m_lastPayloads.constEnd(); ++it)
        payloads.insert(instructionKey(it.key()), QString::fromLatin1(it.value().toHex()));
    for (auto it = m_lastStatus.constBegin(); it != m_lastStatus.constEnd(); ++it)
        statuses.insert(instructionKey(it.key()), it.value());
    state.insert(QStringLiteral("requests"), total);
    state.insert(QStringLiteral("instructionCounts"), counts);
    state.insert(QStringLiteral("lastPayloads"), payloads);
    state.insert(QStringLiteral("lastStatus"), statuses);

    QJsonObject overrides;
    for (auto it = m_statusOverrides.constBegin(); it != m_statusOverrides.constEnd(); ++it)
        overrides.insert(instructionKey(it.key()), it.value());
    state.insert(QStringLiteral("statusOverrides"), overrides);

    addFamilyState(state);
    return state;
}
