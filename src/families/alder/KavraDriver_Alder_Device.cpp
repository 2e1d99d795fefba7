#include "KavraDriver_Alder_Device.h"

#include "KavraDriver_Alder_CommRequest.h"
#include "KavraDriver_Alder_PWM.h"
#include "KavraDriver_Alder_PWMFrequency.h"
#include "KavraDriver_Alder_SupplyState.h"
#include "KavraDriver_Alder_Voltage.h"
#include "KavraDriver_Conversions.h"
#include "KavraDriver_Status.h"

#include <memory>

using namespace KavraDriver_Status;

namespace {
constexpr int HighestFrequency = 200000;
// The PWM mode the family's units take for a plain duty setting.
constexpr int PlainDutyMode = 2;
} // namespace

KavraDriver_Alder_Device::KavraDriver_Alder_Device(const KavraModel* model)
    : KavraDriver_AbstractDevice(model)
{ }

KavraDriver_Alder_Device::~KavraDriver_Alder_Device() = default;

bool KavraDriver_Alder_Device::exchange(
    uint32_t instruction, const QByteArray& payload, QByteArray* reply)
{
    return KavraDriver_AbstractDevice::exchange(
        std::make_shared<KavraDriver_Alder_CommRequest>(instruction), payload, reply);
}

int KavraDriver_Alder_Device::setPWM(int channel, int duty)
{
    if (duty < 0 || duty > 100)
        return DutyOutOfRange;
    if (channel < 1 || channel > PwmChannelCount)
        return PWMChannelOutOfRange;
    KavraDriver_Alder_PWM pwm;
    pwm.setValue(KavraDriver_Alder_PWM::Mode, PlainDutyMode);
    pwm.setValue(KavraDriver_Alder_PWM::Duty, duty);
    if (!exchange(SetPWM, pwm.encode()) || !exchange(ApplyPWM))
        return PWMFailed;
    return Success;
}

int KavraDriver_Alder_Device::setPWMFrequency(int frequency)
{
    if (frequency < 1 || frequency > HighestFrequency)
        return FrequencyOutOfRange;
    KavraDriver_Alder_PWMFrequency record;
    record.setValue(KavraDriver_Alder_PWMFrequency::Frequency, frequency);
    if (!exchange(SetPWMFrequency, record.encode()) || !exchange(ApplyPWM))
        return FrequencyFailed;
    return Success;
}

int KavraDriver_Alder_Device::setVoltage(int channel, double voltage, double current)
{
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    // Written so that NaN fails as well.
    if (!(voltage >= 0.0 && voltage <= HighestVoltage))
        return VoltageOutOfRange;
    if (!(current >= 0.0 && current <= HighestCurrent))
        return CurrentOutOfRange;
    // The requested values are cut to whole numbers, as a record's encode cuts them.
    const QByteArray payload
        = KavraDriver_Alder_Voltage::encode(PropertiesDetail::truncateToInt(voltage, nullptr),
            PropertiesDetail::truncateToInt(current, nullptr), m_userData, m_polarity);
    if (!exchange(SetVoltage, payload))
        return VoltageFailed;
    return Success;
}

int KavraDriver_Alder_Device::setPolarity(int channel, int polarity)
{
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    if (polarity != 0 && polarity != 1)
        return PolarityOutOfRange;
    // Stored before it is sent: later voltages take this sign even if the unit missed it.
    m_polarity.setValue(KavraDriver_Alder_Polarity::Polarity, polarity);
    if (!exchange(SetPolarity, m_polarity.encode()))
        return PolarityFailed;
    return Success;
}

int KavraDriver_Alder_Device::turnVoltageOn(int channel)
{
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    return exchange(OutputOn) ? Success : OutputFailed;
}

int KavraDriver_Alder_Device::turnVoltageOff(int channel)
{
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    return exchange(OutputOff) ? Success : OutputFailed;
}

int KavraDriver_Alder_Device::getSupplyStatus(bool* flag, char* text)
{
    QByteArray reply;
    if (!exchange(ReadSupplyState, QByteArray(), &reply))
        return StatusReadFailed;
    const KavraDriver_Alder_SupplyState::Fields state
        = KavraDriver_Alder_SupplyState::decode(reply, m_userData);
    if (flag)
        *flag = state.errorCode != 0;
    KavraDriver_Conversions::copyLatin1(
        KavraDriver_Conversions::supplyStatusText(state.errorCode), text);
    return Success;
}

int KavraDriver_Alder_Device::getChannelStatus(int channel, bool* first, bool* second)
{
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    QByteArray reply;
    if (!exchange(ReadSupplyState, QByteArray(), &reply))
        return StatusReadFailed;
    const KavraDriver_Alder_SupplyState::Fields state
        = KavraDriver_Alder_SupplyState::decode(reply, m_userData);
    if (first)
        *first = state.firstFlag;
    if (second)
        *second = state.secondFlag;
    return Success;
}

int KavraDriver_Alder_Device::getChannelCurrent(int channel, double* current)
{
    if (channel < 1 || channel > ChannelCount)
        return ChannelOutOfRange;
    QByteArray reply;
    if (!exchange(ReadSupplyState, QByteArray(), &reply))
        return CurrentReadFailed;
    const KavraDriver_Alder_SupplyState::Fields state
        = KavraDriver_Alder_SupplyState::decode(reply, m_userData);
    if (current)
        *current = state.current;
    return Success;
}

int KavraDriver_Alder_Device::clearError()
{
    // The unit clears its error state when the output is switched off.
    return exchange(OutputOff) ? Success : ClearErrorFailed;
}

int KavraDriver_Alder_Device::initialiseDevice()
{
    QByteArray reply;
    if (!exchange(ReadUserData, QByteArray(), &reply))
        return UserDataReadFailed;
    m_userData = KavraDriver_Alder_UserData(reply);
    if (!exchange(ReadPolarity, QByteArray(), &reply))
        return PolarityReadFailed;
    m_polarity = KavraDriver_Alder_Polarity(reply);
    return Success;
}
