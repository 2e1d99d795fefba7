#include "KavraDriver_Generic_Device.h"

#include "KavraDriver_Conversions.h"
#include "KavraDriver_Generic_CommRequest.h"
#include "KavraDriver_Generic_SupplyState.h"
#include "KavraDriver_Generic_Voltage.h"
#include "KavraDriver_Status.h"
#include "KavraLib.h"

#include <memory>

using namespace KavraDriver_Status;

namespace {
// Setting words the units expect with every voltage setting.
constexpr int VoltageSettingByte = 0;
constexpr int VoltageSecondSettingWord = 55000;
} // namespace

KavraDriver_Generic_Device::KavraDriver_Generic_Device(const KavraModel* model)
    : KavraDriver_AbstractDevice(model)
{ }

KavraDriver_Generic_Device::~KavraDriver_Generic_Device() = default;

bool KavraDriver_Generic_Device::isDualPolarity() const
{
    return modelRow() && (modelRow()->operations & KAVRA_OPERATION_SET_POLARITY) != 0;
}

const KavraDriver_Generic_UserData& KavraDriver_Generic_Device::calibrationInUse() const
{
    if (isDualPolarity()
        && variantToInt(m_polarity.value(KavraDriver_Generic_Polarity::Polarity)) == 1)
        return m_calibrationPolarity1;
    return m_calibrationPolarity0;
}

bool KavraDriver_Generic_Device::exchange(
    uint32_t code, const ModelId& model, const QByteArray& payload, QByteArray* reply)
{
    if (!KavraDriver_Generic_CommRequest::hasInstruction(code, model))
        return false;
    return KavraDriver_AbstractDevice::exchange(
        std::make_shared<KavraDriver_Generic_CommRequest>(code, model), payload, reply);
}

int KavraDriver_Generic_Device::setVoltage(int channel, double voltage, double current)
{
    const ModelId model = modelId();
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    // The model table's limits, which tools read through the library; without a row nothing above
    // zero is allowed.
    const double highestVoltage = modelRow() ? modelRow()->highestVoltage : 0.0;
    const double highestCurrent = modelRow() ? modelRow()->highestCurrent : 0.0;
    // Written so that NaN fails as well.
    if (!(voltage >= 0.0 && voltage <= highestVoltage))
        return VoltageOutOfRange;
    if (!(current >= 0.0 && current <= highestCurrent))
        return CurrentOutOfRange;
    // The requested values are cut to whole numbers, as a record's encode cuts them.
    const QByteArray payload
        = KavraDriver_Generic_Voltage::encode(PropertiesDetail::truncateToInt(voltage, nullptr),
            PropertiesDetail::truncateToInt(current, nullptr), VoltageSettingByte,
            KavraDriver_Generic_Voltage::DefaultSettingWord, VoltageSecondSettingWord,
            calibrationInUse());
    if (!exchange(SetVoltage, model, payload))
        return VoltageFailed;
    return Success;
}

int KavraDriver_Generic_Device::setPolarity(int channel, int polarity)
{
    const ModelId model = modelId();
    // A single-polarity unit has no polarity to set, whatever the arguments.
    if (!isDualPolarity())
        return NotSupported;
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    if (polarity != 0 && polarity != 1)
        return PolarityOutOfRange;
    // Stored before it is sent: later settings and readings use this polarity's calibration.
    m_polarity.setValue(KavraDriver_Generic_Polarity::Polarity, polarity);
    if (!exchange(SetPolarity, model, m_polarity.encode()))
        return PolarityFailed;
    return Success;
}

int KavraDriver_Generic_Device::turnVoltageOn(int channel)
{
    const ModelId model = modelId();
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    return exchange(OutputOn, model) ? Success : OutputFailed;
}

int KavraDriver_Generic_Device::turnVoltageOff(int channel)
{
    const ModelId model = modelId();
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    return exchange(OutputOff, model) ? Success : OutputFailed;
}

int KavraDriver_Generic_Device::getSupplyStatus(bool* flag, char* text)
{
    const ModelId model = modelId();
    QByteArray reply;
    if (!exchange(ReadSupplyState, model, QByteArray(), &reply))
        return StatusReadFailed;
    const KavraDriver_Generic_SupplyState::Fields state
        = KavraDriver_Generic_SupplyState::decode(reply, calibrationInUse());
    if (flag)
        *flag = state.errorCode != 0;
    KavraDriver_Conversions::copyLatin1(
        KavraDriver_Conversions::supplyStatusText(state.errorCode), text);
    return Success;
}

int KavraDriver_Generic_Device::getChannelStatus(int channel, bool* first, bool* second)
{
    const ModelId model = modelId();
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    QByteArray reply;
    if (!exchange(ReadSupplyState, model, QByteArray(), &reply))
        return StatusReadFailed;
    const KavraDriver_Generic_SupplyState::Fields state
        = KavraDriver_Generic_SupplyState::decode(reply, calibrationInUse());
    if (first)
        *first = state.firstFlag;
    if (second)
        *second = state.secondFlag;
    return Success;
}

int KavraDriver_Generic_Device::getChannelCurrent(int channel, double* current)
{
    const ModelId model = modelId();
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    QByteArray reply;
    if (!exchange(ReadSupplyState, model, QByteArray(), &reply))
        return CurrentReadFailed;
    const KavraDriver_Generic_SupplyState::Fields state
        = KavraDriver_Generic_SupplyState::decode(reply, calibrationInUse());
    if (current)
        *current = state.current;
    return Success;
}

int KavraDriver_Generic_Device::clearError()
{
    // The unit clears its error state when the output is switched off.
    return exchange(OutputOff, modelId()) ? Success : ClearErrorFailed;
}

int KavraDriver_Generic_Device::initialiseDevice()
{
    const ModelId model = modelId();
    QByteArray reply;
    if (!isDualPolarity()) {
        if (!exchange(ReadCalibration, model, QByteArray(), &reply))
            return UserDataReadFailed;
        m_calibrationPolarity0 = KavraDriver_Generic_UserData(model, reply);
        return Success;
    }
    if (!exchange(ReadPolarity, model, QByteArray(), &reply))
        return PolarityReadFailed;
    m_polarity = KavraDriver_Generic_Polarity(reply);
    if (!exchange(ReadCalibrationPolarity0, model, QByteArray(), &reply))
        return UserDataReadFailed;
    m_calibrationPolarity0 = KavraDriver_Generic_UserData(model, reply);
    if (!exchange(ReadCalibrationPolarity1, model, QByteArray(), &reply))
        return UserDataReadFailed;
    m_calibrationPolarity1 = KavraDriver_Generic_UserData(model, reply);
    return Success;
}
