#include "BootloaderCommRequest.h"

#include "USBISocket.h"

#include <QHash>
#include <QPair>
#include <QString>

namespace {

constexpr uint32_t PageInstruction = 8;
constexpr uint32_t PageSizeInstruction = 10;
constexpr uint32_t ChecksumInstruction = 17;

// The wire code of every (instruction set, instruction) pair, filled once per process.
const QHash<QPair<uint32_t, uint32_t>, uint8_t>& codeTable()
{
    static const QHash<QPair<uint32_t, uint32_t>, uint8_t> table = [] {
        // Indexed by instruction; 0 where the character set has no code.
        static const uint8_t characterSet[] = {0x00, 0x00, 0x45, 0x00, 0x2A, 0x00, 0x43, 0x44, 0x64,
            0x50, 0x70, 0x73, 0x61, 0x41, 0x53, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
        static const uint8_t binarySet[] = {0x02, 0x09, 0x03, 0x07, 0x04, 0x08, 0x10, 0x11, 0x12,
            0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x06, 0x0A, 0x19, 0x1A, 0x1B, 0x1C};
        static_assert(sizeof(characterSet) == sizeof(binarySet), "one code per instruction");
        QHash<QPair<uint32_t, uint32_t>, uint8_t> codes;
        for (uint32_t i = 0; i < sizeof(binarySet); ++i) {
            codes.insert(
                qMakePair(uint32_t(BootloaderCommRequest::CharacterSet), i), characterSet[i]);
            codes.insert(qMakePair(uint32_t(BootloaderCommRequest::BinarySet), i), binarySet[i]);
        }
        return codes;
    }();
    return table;
}

} // namespace

BootloaderCommRequest::BootloaderCommRequest(
    uint32_t instructionSet, uint32_t instruction, uint32_t argument)
    : m_code(codeFor(instructionSet, instruction))
    , m_instruction(instruction)
    , m_instructionSet(instructionSet)
    , m_pageSize(argument)
    , m_id(static_cast<uint32_t>(nextRequestId()))
    , m_finished(false)
{ }

BootloaderCommRequest::~BootloaderCommRequest() = default;

uint8_t BootloaderCommRequest::codeFor(uint32_t instructionSet, uint32_t instruction)
{
    return codeTable().value(qMakePair(instructionSet, instruction), 0);
}

bool BootloaderCommRequest::isRaw() const
{
    // The binary set's control instructions go out as a bare code byte.
    return m_instructionSet == BinarySet
        && (m_instruction <= 5 || m_instruction == 15 || m_instruction == 16);
}

uint8_t BootloaderCommRequest::instructionCode() const
{
    return m_code;
}

QByteArray BootloaderCommRequest::payload() const
{
    return m_data;
}

bool BootloaderCommRequest::isInstruction(int instruction) const
{
    return instruction >= 0 && static_cast<uint32_t>(instruction) == m_instruction;
}

void BootloaderCommRequest::setReplyData(const QByteArray& data)
{
    m_receivedData.append(data);
}

QByteArray BootloaderCommRequest::replyData() const
{
    if (m_pageSize == 0)
        return m_receivedData;
    Q_ASSERT_X(static_cast<uint32_t>(m_receivedData.size()) == m_pageSize + 2,
        "BootloaderCommRequest::replyData", "page reply of the wrong length");
    return m_receivedData.left(static_cast<int>(m_pageSize));
}

USBResult BootloaderCommRequest::checkStatus(uint8_t status) const
{
    static const QString corrupted
        = QStringLiteral("Instruction stream was corrupted (unexpected return value [%1])");
    switch (status) {
    case 0:
    case 91:
    case 92:
        return USBResult();
    case 1:
        return USBResult::failure(
            QStringLiteral("Instruction was not recognised by target device"));
    case 2:
        return USBResult::failure(QStringLiteral("Target device is busy"));
    case 3:
        return USBResult::failure(QStringLiteral("Device was not unlocked for write"));
    default:
        break;
    }
    return USBResult::failure(corrupted.arg(static_cast<unsigned>(status)));
}

int BootloaderCommRequest::expectedReplyLength() const
{
    switch (m_instruction) {
    case PageInstruction:
        return static_cast<int>(m_pageSize + 2);
    case ChecksumInstruction:
        return 2;
    default:
        return 0;
    }
}

bool BootloaderCommRequest::hasVariableReply() const
{
    return m_instruction == PageSizeInstruction;
}

USBResult BootloaderCommRequest::processVariableReply(const QByteArray& data)
{
    // Judging the length is the reader's business: the page-size reply has two forms.
    if (m_instruction == PageSizeInstruction)
        m_receivedData.append(data);
    return USBResult();
}

USBResult BootloaderCommRequest::readRawReply(std::shared_ptr<USBISocket> socket)
{
    if (m_instruction != PageSizeInstruction)
        return USBResult();
    if (!socket)
        return USBResult::failure(QStringLiteral("Invalid communication handle."));
    m_receivedData.append(socket->read(2));
    // The long form starts with FF and carries two more bytes.
    if (!m_receivedData.isEmpty() && static_cast<uint8_t>(m_receivedData.at(0)) == 0xFF)
        m_receivedData.append(socket->read(2));
    return USBResult();
}

int BootloaderCommRequest::id() const
{
    return static_cast<int>(m_id);
}

void BootloaderCommRequest::setResult(const USBResult& result)
{
    m_result = result;
    m_finished = true;
}

bool BootloaderCommRequest::isFinished() const
{
    return m_finished;
}

USBResult BootloaderCommRequest::result() const
{
    return m_result;
}

bool BootloaderCommRequest::hasValidPage() const
{
    if (m_pageSize == 0 || static_cast<uint32_t>(m_receivedData.size()) != m_pageSize + 2)
        return false;
    const int end = static_cast<int>(m_pageSize);
    return static_cast<uint8_t>(m_receivedData.at(end)) == 0xFF
        && static_cast<uint8_t>(m_receivedData.at(end + 1)) == 0xFF;
}
