#pragma once

#include "USBICommRequest.h"
#include "USBResult.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

// One bootloader instruction, numbered independently of the wire code, which depends on the
// instruction set (0: character set, 1: binary set). The result is read only after the send has
// returned, so it carries no lock.
class BootloaderCommRequest : public USBICommRequest
{
public:
    enum InstructionSet : uint32_t { CharacterSet = 0, BinarySet = 1 };

    // argument: the page length for instruction 8, 0 otherwise.
    BootloaderCommRequest(uint32_t instructionSet, uint32_t instruction, uint32_t argument);
    ~BootloaderCommRequest() override;

    // The wire code of an instruction; 0 for a pair that the table lacks.
    static uint8_t codeFor(uint32_t instructionSet, uint32_t instruction);

    bool isRaw() const override;
    uint8_t instructionCode() const override;
    QByteArray payload() const override;
    bool isInstruction(int instruction) const override;
    // Appends: the reply is collected in pieces.
    void setReplyData(const QByteArray& data) override;
    // For a page request the page without its two-byte trailer; run hasValidPage() first.
    QByteArray replyData() const override;
    USBResult checkStatus(uint8_t status) const override;
    int expectedReplyLength() const override;
    bool hasVariableReply() const override;
    USBResult processVariableReply(const QByteArray& data) override;
    USBResult readRawReply(std::shared_ptr<USBISocket> socket) override;
    int id() const override;
    void setResult(const USBResult& result) override;
    bool isFinished() const override;
    USBResult result() const override;

    // Whether a page reply is complete: page length + 2 bytes, ending in FF FF.
    bool hasValidPage() const;
    // Everything received so far, trailer included.
    QByteArray receivedData() const { return m_receivedData; }
    uint32_t instruction() const { return m_instruction; }
    uint32_t instructionSet() const { return m_instructionSet; }

private:
    QByteArray m_data;
    QByteArray m_receivedData;
    uint8_t m_code;
    uint32_t m_instruction;
    uint32_t m_instructionSet;
    uint32_t m_pageSize;
    uint32_t m_id;
    bool m_finished;
    USBResult m_result;
};
