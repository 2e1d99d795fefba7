// The exported functions that describe status codes and units from the library's own tables,
// without a word to any unit.

#include "KavraDriver_Status.h"
#include "KavraLib.h"
#include "KavraSession.h"
#include "KavraSupportedModels.h"
#include "KavraTextBuffer.h"
#include "USBSerialNumber.h"

using namespace KavraDriver_Status;

namespace {

// Answers from the table's row for the unit that the index names, attached or away; it stays
// closed. The rows never change, so the answer is read without any lock.
template <typename Answer> int withModel(int index, Answer answer) noexcept
{
    try {
        const QString serial = KavraSession::serialNumberForIndex(index);
        if (serial.isEmpty())
            return IndexOutOfRange;
        static const KavraSupportedModels::Model withoutFamily;
        const KavraSupportedModels::Model* model
            = KavraSupportedModels::find(USBSerialNumber(serial).modelId());
        return answer(model ? *model : withoutFamily);
    } catch (...) {
        return InternalFailure;
    }
}

} // namespace

extern "C" {

int getStatusText(int code, char* buffer, int bufferSize)
{
    try {
        const char* text = meaning(code);
        return KavraTextBuffer::copy(
            text ? QByteArray(text) : "unknown status code " + QByteArray::number(code), buffer,
            bufferSize);
    } catch (...) {
        return InternalFailure;
    }
}

int getFamilyName(int index, char* buffer, int bufferSize)
{
    return withModel(index, [&](const KavraSupportedModels::Model& model) {
        return KavraTextBuffer::copy(QByteArray(model.family), buffer, bufferSize);
    });
}

int getChannelCount(int index, int* count)
{
    return withModel(index, [&](const KavraSupportedModels::Model& model) {
        if (count)
            *count = model.channelCount;
        return Success;
    });
}

int getPwmChannelCount(int index, int* count)
{
    return withModel(index, [&](const KavraSupportedModels::Model& model) {
        if (count)
            *count = model.pwmChannelCount;
        return Success;
    });
}

int getHighestCurrent(int index, double* microamps)
{
    return withModel(index, [&](const KavraSupportedModels::Model& model) {
        if (microamps)
            *microamps = model.highestCurrent;
        return Success;
    });
}

int getHighestVoltage(int index, double* volts)
{
    return withModel(index, [&](const KavraSupportedModels::Model& model) {
        if (volts)
            *volts = model.highestVoltage;
        return Success;
    });
}

int getSupportedOperations(int index, unsigned int* operations)
{
    return withModel(index, [&](const KavraSupportedModels::Model& model) {
        if (operations)
            *operations = model.operations;
        return Success;
    });
}

} // extern "C"
