#include "KavraDriver_Cedar_Device.h"

#include "KavraDriver_Cedar_CommRequest.h"
#include "KavraDriver_Cedar_PWM.h"
#include "KavraDriver_Cedar_PWMFrequency.h"
#include "KavraDriver_Cedar_SupplyState.h"
#include "KavraDriver_Cedar_Voltage.h"
#include "KavraDriver_Conversions.h"
#include "KavraDriver_Status.h"

#include <memory>

using namespace KavraDriver_Status;

namespace {
constexpr int HighestFrequency = 200000;
constexpr double ShortestPeriod = 0.1;
constexpr double LongestPeriod = 50.0;
constexpr uint32_t WaveformCount = 3;
// PWM modes: a plain duty setting, and the three PWM functions.
constexpr int PlainDutyMode = 2;
constexpr int FunctionModes[] = {6, 22, 38};
constexpr int DefaultDuty = 50;

bool isOutput(int channel)
{
    return channel >= 1 && channel <= KavraDriver_Cedar_Device::ChannelCount;
}
} // namespace

KavraDriver_Cedar_Device::KavraDriver_Cedar_Device(const KavraModel* model)
    : KavraDriver_AbstractDevice(model)
{ }

KavraDriver_Cedar_Device::~KavraDriver_Cedar_Device() = default;

bool KavraDriver_Cedar_Device::exchange(
    uint32_t instruction, const QByteArray& payload, QByteArray* reply)
{
    return KavraDriver_AbstractDevice::exchange(
        std::make_shared<KavraDriver_Cedar_CommRequest>(instruction), payload, reply);
}

bool KavraDriver_Cedar_Device::sendPWM(int channel, int mode, int duty)
{
    KavraDriver_Cedar_PWM pwm;
    pwm.setValue(KavraDriver_Cedar_PWM::Mode, mode);
    pwm.setValue(KavraDriver_Cedar_PWM::Duty, duty);
    return exchange(SetPWMBase + static_cast<uint32_t>(channel), pwm.encode())
        && exchange(ApplyPWM);
}

int KavraDriver_Cedar_Device::firmwareVersion() const
{
    return versionInfo().first;
}

int KavraDriver_Cedar_Device::setPWMFunction(uint32_t channel, int function)
{
    if (function < 0 || function > 2)
        return PWMFunctionOutOfRange;
    if (channel < 1 || channel > PwmChannelCount)
        return PWMChannelOutOfRange;
    return sendPWM(static_cast<int>(channel), FunctionModes[function], DefaultDuty) ? Success
                                                                                    : PWMFailed;
}

int KavraDriver_Cedar_Device::setPWM(int channel, int duty)
{
    if (duty < 0 || duty > 100)
        return DutyOutOfRange;
    if (channel < 1 || channel > PwmChannelCount)
        return PWMChannelOutOfRange;
    return sendPWM(channel, PlainDutyMode, duty) ? Success : PWMFailed;
}

int KavraDriver_Cedar_Device::setPWMFrequency(int frequency)
{
    if (frequency < 1 || frequency > HighestFrequency)
        return FrequencyOutOfRange;
    KavraDriver_Cedar_PWMFrequency record;
    record.setValue(KavraDriver_Cedar_PWMFrequency::Frequency, frequency);
    if (!exchange(SetPWMFrequency, record.encode()) || !exchange(ApplyPWM))
        return FrequencyFailed;
    return Success;
}

int KavraDriver_Cedar_Device::setVoltage(int channel, double voltage, double current)
{
    static_cast<void>(current);
    if (!isOutput(channel))
        return ChannelOutOfRange;
    // Written so that NaN fails as well.
    if (!(voltage >= 0.0 && voltage <= m_bus.highestVoltage()))
        return VoltageOutOfRange;
    // A constant output: waveform 0.
    const QByteArray payload = KavraDriver_Cedar_Voltage::encode(voltage, 0,
        KavraDriver_Cedar_Voltage::DefaultSecondLevel, KavraDriver_Cedar_Voltage::DefaultPeriod,
        firmwareVersion());
    if (!exchange(SetVoltageBase + static_cast<uint32_t>(channel), payload))
        return VoltageFailed;
    return Success;
}

int KavraDriver_Cedar_Device::setVoltageWaveform(
    int channel, uint32_t waveform, double level1, double level2, double period)
{
    if (!isOutput(channel))
        return ChannelOutOfRange;
    const double highest = m_bus.highestVoltage();
    if (!(level1 >= 0.0 && level1 <= highest))
        return VoltageOutOfRange;
    if (!(level2 >= 0.0 && level2 <= highest))
        return SecondLevelOutOfRange;
    if (!(period >= ShortestPeriod && period <= LongestPeriod))
        return PeriodOutOfRange;
    if (waveform >= WaveformCount)
        return WaveformOutOfRange;
    KavraDriver_Cedar_Voltage record;
    record.setValue(KavraDriver_Cedar_Voltage::Voltage, level1);
    // The unit numbers its waveforms from 1; 0 is a constant output.
    record.setValue(KavraDriver_Cedar_Voltage::Waveform, static_cast<int>(waveform) + 1);
    record.setValue(KavraDriver_Cedar_Voltage::SecondLevel, level2);
    record.setValue(KavraDriver_Cedar_Voltage::Period, period);
    if (!exchange(
            SetVoltageBase + static_cast<uint32_t>(channel), record.encode(firmwareVersion())))
        return VoltageFailed;
    return Success;
}

int KavraDriver_Cedar_Device::turnVoltageOn(int channel)
{
    if (!isOutput(channel))
        return ChannelOutOfRange;
    // The unit's own readiness decides; switching on a unit that is not ready is refused here.
    QByteArray reply;
    if (!exchange(ReadSupplyState, QByteArray(), &reply))
        return StatusReadFailed;
    const KavraDriver_Cedar_SupplyState state(reply);
    if (!state.statusBit(KavraDriver_Cedar_SupplyState::ReadyBit))
        return NotReady;
    if (channel != 1 && !state.statusBit(KavraDriver_Cedar_SupplyState::SecondaryReadyBit))
        return SecondaryOutputsNotReady;
    return exchange(OutputOnBase + static_cast<uint32_t>(channel)) ? Success : OutputFailed;
}

int KavraDriver_Cedar_Device::turnVoltageOff(int channel)
{
    if (!isOutput(channel))
        return ChannelOutOfRange;
    return exchange(OutputOffBase + static_cast<uint32_t>(channel)) ? Success : OutputFailed;
}

int KavraDriver_Cedar_Device::enableInternalVoltageBus(int level)
{
    if (level != 0 && level != 1)
        return BusLevelOutOfRange;
    // Stored before it is sent: the limit of later voltage settings follows the request.
    m_bus.setValue(KavraDriver_Cedar_HVBus::Level, level);
    return exchange(SetBusLevel, m_bus.encode()) ? Success : BusEnableFailed;
}

int KavraDriver_Cedar_Device::disableInternalVoltageBus()
{
    // The stored level stays: it is the level the bus returns to.
    return exchange(BusOff) ? Success : BusDisableFailed;
}

int KavraDriver_Cedar_Device::getSupplyStatus(bool* flag, char* text)
{
    QByteArray reply;
    if (!exchange(ReadSupplyState, QByteArray(), &reply))
        return StatusReadFailed;
    const KavraDriver_Cedar_SupplyState::Fields state
        = KavraDriver_Cedar_SupplyState::decode(reply);
    if (flag)
        *flag = KavraDriver_Cedar_SupplyState::bitOf(
            state.statusBits, KavraDriver_Cedar_SupplyState::ErrorBit);
    KavraDriver_Conversions::copyLatin1(
        KavraDriver_Cedar_SupplyState::errorTextOf(state.errorBits), text);
    return Success;
}

int KavraDriver_Cedar_Device::getChannelStatus(int channel, bool* first, bool* second)
{
    if (!isOutput(channel))
        return ChannelOutOfRange;
    QByteArray reply;
    if (!exchange(ReadSupplyState, QByteArray(), &reply))
        return StatusReadFailed;
    const KavraDriver_Cedar_SupplyState::Fields state
        = KavraDriver_Cedar_SupplyState::decode(reply);
    if (first)
        *first = KavraDriver_Cedar_SupplyState::bitOf(
            state.statusBits, KavraDriver_Cedar_SupplyState::FirstOutputBit + channel - 1);
    if (second)
        *second = KavraDriver_Cedar_SupplyState::bitOf(state.outputBits, channel - 1);
    return Success;
}

int KavraDriver_Cedar_Device::clearError()
{
    return exchange(ClearError) ? Success : ClearErrorFailed;
}

int KavraDriver_Cedar_Device::initialiseDevice()
{
    QByteArray reply;
    if (!exchange(ReadBusLevel, QByteArray(), &reply))
        return StatusReadFailed;
    m_bus = KavraDriver_Cedar_HVBus(reply);
    return Success;
}
