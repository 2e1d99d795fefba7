#include "KavraDriver_Generic_CommRequest.h"

#include <QHash>
#include <QPair>
#include <QVector>

namespace {

// The instruction bytes of every Generic model and the reply lengths, filled once per process.
struct GenericInstructionTable
{
    QHash<QPair<ModelId, uint32_t>, uint8_t> bytes;
    QVector<int> replyLengths;
};

const GenericInstructionTable& genericTable()
{
    // A function-local static is built once, also when first used from several threads.
    static const GenericInstructionTable table = [] {
        struct Row
        {
            int byteFor19; // -1: the model lacks the code
            int byteFor25;
            int replyLength;
        };
        static const Row rows[] = {
            {0x20, 0x20, 0},
            {-1, 0x21, 0},
            {0x21, -1, 0},
            {-1, 0x22, 0},
            {-1, 0x23, 0},
            {0x22, 0x24, 0},
            {0x23, 0x25, 0},
            {0x40, 0x40, 15},
            {-1, 0x41, 1},
            {0x41, -1, 20},
            {-1, 0x42, 20},
            {-1, 0x43, 20},
            {0x42, 0x44, 8},
        };
        const ModelId model19(19, 1);
        const ModelId model25(25, 1);
        GenericInstructionTable t;
        for (uint32_t code = 0; code < sizeof(rows) / sizeof(rows[0]); ++code) {
            const Row& row = rows[code];
            if (row.byteFor19 >= 0)
                t.bytes.insert(qMakePair(model19, code), static_cast<uint8_t>(row.byteFor19));
            if (row.byteFor25 >= 0)
                t.bytes.insert(qMakePair(model25, code), static_cast<uint8_t>(row.byteFor25));
            t.replyLengths.append(row.replyLength);
        }
        return t;
    }();
    return table;
}

} // namespace

KavraDriver_Generic_CommRequest::KavraDriver_Generic_CommRequest(
    uint32_t genericCode, const ModelId& model)
    : KavraDriver_CommRequest(genericCode)
    , m_code(instructionByte(genericCode, model))
    , m_replyLength(replyLength(genericCode))
{
    // The Generic device sends only the codes that its model has.
    Q_ASSERT_X(hasInstruction(genericCode, model), "KavraDriver_Generic_CommRequest",
        "Generic code missing for the model");
}

uint8_t KavraDriver_Generic_CommRequest::instructionByte(uint32_t genericCode, const ModelId& model)
{
    return genericTable().bytes.value(qMakePair(model, genericCode), 0);
}

bool KavraDriver_Generic_CommRequest::hasInstruction(uint32_t genericCode, const ModelId& model)
{
    return genericTable().bytes.contains(qMakePair(model, genericCode));
}

int KavraDriver_Generic_CommRequest::replyLength(uint32_t genericCode)
{
    const QVector<int>& lengths = genericTable().replyLengths;
    return genericCode < static_cast<uint32_t>(lengths.size())
        ? lengths[static_cast<int>(genericCode)]
        : 0;
}

uint8_t KavraDriver_Generic_CommRequest::instructionCode() const
{
    return m_code;
}

bool KavraDriver_Generic_CommRequest::isInstruction(int instruction) const
{
    return instruction >= 0 && static_cast<uint32_t>(instruction) == this->instruction();
}

USBResult KavraDriver_Generic_CommRequest::checkStatus(uint8_t status) const
{
    // Generic units answer with the same status bytes as Alder units.
    return statusResult(status,
        {{1, "Instruction was not recognised by target device"}, {2, "Target device is busy"},
            {32, "Target device is busy"}});
}

int KavraDriver_Generic_CommRequest::expectedReplyLength() const
{
    return m_replyLength;
}
