#include "SupplyCommands.h"

#include "ScpiError.h"
#include "StatusText.h"

#include <KavraLib.h>

#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace {

// SCPI's not-a-number: the reply for a setting not made since the server started.
const QString kNotANumber = QStringLiteral("9.91E+37");
constexpr double kMicro = 1e6;
// The library's statuses for a current and a voltage out of range, the meanings given with -222.
constexpr int kCurrentOutOfRange = 20;
constexpr int kVoltageOutOfRange = 19;

// The error of a failed call on the unit under the index; an exchange that failed carries the
// unit's own account of why (a unit unplugged says that it is disconnected).
ScpiError failure(int index, int status)
{
    const ScpiError error = ScpiError::fromStatus(status);
    if (error.code() <= 0)
        return error;
    std::array<char, 512> cause{};
    if (getLastErrorText(index, cause.data(), int(cause.size())) != StatusText::Success
        || cause.front() == '\0')
        return error;
    return ScpiError::fromStatus(status, QString::fromLatin1(cause.data()));
}

void check(int index, int status)
{
    if (status != StatusText::Success)
        throw failure(index, status);
}

// Like check(), but first forgets the settings that a failed exchange leaves unknown; a rejected
// argument changes nothing.
template <typename Forget> void checkOrForget(int index, int status, Forget forget)
{
    if (status == StatusText::Success)
        return;
    const ScpiError error = failure(index, status);
    if (error.code() != ScpiError::DataOutOfRange)
        forget();
    throw error;
}

QString number(double value)
{
    return QString::number(value, 'g', 12);
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QString key(const QString& setting, int channel)
{
    return setting + QLatin1Char('#') + QString::number(channel);
}

// Amps to the library's microamps, without the floating-point dust that would turn 200E-6 into
// 200.00000000000003 (out of range) or 199.99999999999997 (cut to 199 by the library).
double microamps(double amps)
{
    const double micro = amps * kMicro;
    const double nearest = std::round(micro);
    return std::abs(micro - nearest) < 1e-6 ? nearest : micro;
}

} // namespace

SupplyCommands::SupplyCommands(const UnitProfile& profile, const QString& libraryVersion,
    const UnitSafety& safety, std::function<void()> switchOthersOff)
    : m_profile(profile)
    , m_index(profile.identity().index())
    , m_libraryVersion(libraryVersion)
    , m_currentLimits(profile.outputs() + 1, profile.largestCurrent())
    , m_ramps(profile.outputs())
    , m_limits(profile.outputs() + 1, profile.highestVoltage())
    , m_on(profile.outputs() + 1, false)
    , m_ceiling(safety.limit >= 0 ? std::min(safety.limit, profile.highestVoltage())
                                  : profile.highestVoltage())
    , m_watchdogSeconds(safety.watchdogSeconds)
    , m_switchOthersOff(std::move(switchOthersOff))
{
    for (int channel = 1; channel <= profile.outputs(); ++channel) {
        m_ramps.setRate(channel, safety.slew);
        m_limits[channel] = m_ceiling;
    }
}

QString SupplyCommands::identity() const
{
    return QStringLiteral("Kavra,%1,%2,%3")
        .arg(m_profile.modelName(), m_profile.identity().serial(), m_libraryVersion);
}

QVector<ScpiCommand> SupplyCommands::commands()
{
    return outputCommands() + familyCommands() + readingCommands() + safetyCommands();
}

void SupplyCommands::reset()
{
    check(m_index, switchOff());
}

int SupplyCommands::switchOff()
{
    for (int channel = 1; channel <= m_profile.outputs(); ++channel)
        m_ramps.stop(channel);
    if (!m_profile.supports(Operation::TurnOff))
        return StatusText::Success;
    // Every output is tried, whatever the others do; the first failure is reported.
    int firstFailure = StatusText::Success;
    for (int channel = 1; channel <= m_profile.outputs(); ++channel) {
        const int status = turnVoltageOff(m_index, channel);
        if (status == StatusText::Success) {
            m_on[channel] = false;
            if (m_profile.supports(Operation::SetAccurateVoltage))
                remember(QStringLiteral("ACC"), channel, QStringLiteral("0,0"));
        }
        if (firstFailure == StatusText::Success)
            firstFailure = status;
    }
    return firstFailure;
}

void SupplyCommands::switchAllOff(const QString& reason)
{
    const int status = switchOff();
    log(status == StatusText::Success
            ? reason + QStringLiteral(": outputs off")
            : reason + QStringLiteral(": switching the outputs off failed: ")
                + StatusText::meaning(status));
}

void SupplyCommands::selfTest()
{
    if (m_profile.supports(Operation::SupplyStatus)) {
        bool error = false;
        std::array<char, 1024> text{};
        check(m_index, getSupplyStatus(m_index, &error, text.data()));
    } else if (m_profile.supports(Operation::AdcValue)) {
        double value = 0;
        check(m_index, getADCValue(m_index, &value));
    } else {
        throw ScpiError(ScpiError::HardwareMissing, QStringLiteral("the unit reports no status"));
    }
}

int SupplyCommands::sendStep(int channel)
{
    const double volts = m_ramps.nextStep(channel);
    const int status = setVoltage(m_index, channel, volts, m_currentLimits.at(channel));
    if (status == StatusText::Success)
        m_ramps.sent(channel, volts);
    else if (ScpiError::fromStatus(status).code() == ScpiError::DataOutOfRange)
        m_ramps.stop(channel); // refused: nothing was sent
    else
        m_ramps.forget(channel);
    return status;
}

void SupplyCommands::stepRamps()
{
    for (int channel = 1; channel <= m_profile.outputs(); ++channel) {
        if (!m_ramps.running(channel))
            continue;
        const bool switchesOff = m_ramps.switchesOff(channel);
        const int status = sendStep(channel);
        if (status != StatusText::Success)
            log(QStringLiteral("output %1: ramp stopped: %2")
                    .arg(channel)
                    .arg(StatusText::meaning(status)));
        if (!switchesOff || m_ramps.running(channel))
            continue;
        // Arrived, or failed on the way down: off in either case.
        m_ramps.stop(channel);
        const int off = turnVoltageOff(m_index, channel);
        if (off == StatusText::Success)
            m_on[channel] = false;
        else
            log(QStringLiteral("output %1: switching off failed: %2")
                    .arg(channel)
                    .arg(StatusText::meaning(off)));
    }
}

void SupplyCommands::watchdogExpired()
{
    if (!std::any_of(m_on.cbegin(), m_on.cend(), [](bool on) { return on; }))
        return;
    ++m_watchdogTrips;
    log(QStringLiteral("watchdog: no command for %1 s, switching the outputs off")
            .arg(m_watchdogSeconds));
    for (int channel = 1; channel <= m_profile.outputs(); ++channel) {
        if (!m_on.at(channel))
            continue;
        if (m_ramps.rate(channel) > 0 && m_profile.supports(Operation::SetVoltage)) {
            m_ramps.retarget(channel, 0.0, true);
            remember(QStringLiteral("VOLT"), channel, number(0.0));
            continue;
        }
        m_ramps.stop(channel);
        const int status = turnVoltageOff(m_index, channel);
        if (status == StatusText::Success) {
            m_on[channel] = false;
            if (m_profile.supports(Operation::SetAccurateVoltage))
                remember(QStringLiteral("ACC"), channel, QStringLiteral("0,0"));
        } else {
            log(QStringLiteral("output %1: switching off failed: %2")
                    .arg(channel)
                    .arg(StatusText::meaning(status)));
        }
    }
}

void SupplyCommands::log(const QString& message) const
{
    std::fprintf(
        stderr, "kavrad: %s: %s\n", qPrintable(m_profile.identity().label()), qPrintable(message));
}

QVector<ScpiCommand> SupplyCommands::outputCommands()
{
    return {
        {QStringLiteral("[SOURce#]:VOLTage[:LEVel][:IMMediate][:AMPLitude]"), false,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::SetVoltage);
                requireOutput(channel);
                p.expect(1);
                const double volts = p.number(0, Unit::Volt, voltageBounds(channel));
                requireWithinLimit(channel, volts);
                // A ramp's target is checked at once, so that no step is refused half-way.
                if (m_ramps.rate(channel) > 0
                    && !(volts >= 0 && volts <= m_profile.highestVoltage()))
                    throw ScpiError(
                        ScpiError::DataOutOfRange, StatusText::meaning(kVoltageOutOfRange));
                // Without a rate the first step is the whole way.
                m_ramps.retarget(channel, volts);
                check(m_index, sendStep(channel));
                remember(QStringLiteral("VOLT"), channel, number(volts));
                // A plain level replaces a waveform.
                forget(QStringLiteral("WAV"), channel);
                return QString();
            }},
        {QStringLiteral("[SOURce#]:VOLTage[:LEVel][:IMMediate][:AMPLitude]"), true,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::SetVoltage);
                requireOutput(channel);
                if (p.count() == 1)
                    return number(p.bound(0, voltageBounds(channel)));
                p.expect(0);
                // During a ramp, its target.
                return recalled(QStringLiteral("VOLT"), channel);
            }},
        {QStringLiteral("[SOURce#]:CURRent[:LEVel][:IMMediate][:AMPLitude]"), false,
            [this](int channel, const ScpiParameters& p) {
                p.expect(1);
                setCurrentLimit(channel, p.number(0, Unit::Ampere, currentBounds()));
                return QString();
            }},
        {QStringLiteral("[SOURce#]:CURRent[:LEVel][:IMMediate][:AMPLitude]"), true,
            [this](int channel, const ScpiParameters& p) {
                requireCurrentLimit(channel);
                if (p.count() == 1)
                    return number(p.bound(0, currentBounds()));
                p.expect(0);
                return number(m_currentLimits.at(channel) / kMicro);
            }},
        {QStringLiteral("OUTPut#[:STATe]"), false,
            [this](int channel, const ScpiParameters& p) {
                p.expect(1);
                const bool on = p.boolean(0);
                require(on ? Operation::TurnOn : Operation::TurnOff);
                requireOutput(channel);
                if (!on)
                    m_ramps.stop(channel);
                check(m_index,
                    on ? turnVoltageOn(m_index, channel) : turnVoltageOff(m_index, channel));
                m_on[channel] = on;
                // Switching a Birch unit off sets both of its values to zero.
                if (!on && m_profile.supports(Operation::SetAccurateVoltage))
                    remember(QStringLiteral("ACC"), channel, QStringLiteral("0,0"));
                return QString();
            }},
        {QStringLiteral("OUTPut#[:STATe]"), true,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::ChannelStatus);
                requireOutput(channel);
                p.expect(0);
                bool switchedOn = false;
                bool second = false;
                check(m_index, getChannelStatus(m_index, channel, &switchedOn, &second));
                return flag(switchedOn);
            }},
        {QStringLiteral("OUTPut#:POLarity"), false,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::SetPolarity);
                requireOutput(channel);
                p.expect(1);
                const int polarity
                    = p.choice(0, {QStringLiteral("POSitive"), QStringLiteral("NEGative")});
                // The library keeps the new polarity even when sending it fails: then it is unknown.
                checkOrForget(m_index, setPolarity(m_index, channel, polarity),
                    [&] { forget(QStringLiteral("POL"), channel); });
                remember(QStringLiteral("POL"), channel,
                    polarity == 0 ? QStringLiteral("POS") : QStringLiteral("NEG"));
                return QString();
            }},
        settingQuery(QStringLiteral("OUTPut#:POLarity"), Operation::SetPolarity, Scope::Output,
            QStringLiteral("POL")),
        {QStringLiteral("OUTPut:PROTection:CLEar"), false,
            [this](int, const ScpiParameters& p) {
                require(Operation::ClearError);
                p.expect(0);
                check(m_index, clearError(m_index));
                return QString();
            }},
    };
}

QVector<ScpiCommand> SupplyCommands::familyCommands()
{
    return {
        {QStringLiteral("[SOURce#]:VOLTage:ACCurate"), false,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::SetAccurateVoltage);
                requireOutput(channel);
                p.expect(2);
                const double volts = p.number(0, Unit::Volt);
                const double second = p.number(1);
                requireWithinLimit(channel, volts);
                check(m_index, setAccurateVoltage(m_index, channel, volts, second));
                // Birch has no switch: an output set above zero counts as on for the watchdog.
                m_on[channel] = volts != 0;
                remember(QStringLiteral("ACC"), channel,
                    number(volts) + QLatin1Char(',') + number(second));
                return QString();
            }},
        settingQuery(QStringLiteral("[SOURce#]:VOLTage:ACCurate"), Operation::SetAccurateVoltage,
            Scope::Output, QStringLiteral("ACC"), 2),
        {QStringLiteral("[SOURce#]:VOLTage:WAVeform"), false,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::SetVoltageWaveform);
                requireOutput(channel);
                p.expect(4);
                const int waveform = p.integer(0);
                const double level1 = p.number(1, Unit::Volt);
                const double level2 = p.number(2, Unit::Volt);
                const double period = p.number(3, Unit::Second);
                requireWithinLimit(channel, std::max(level1, level2));
                m_ramps.stop(channel);
                check(m_index,
                    setVoltageWaveform(m_index, channel, waveform, level1, level2, period));
                m_ramps.forget(channel);
                remember(QStringLiteral("WAV"), channel,
                    QStringList{
                        QString::number(waveform), number(level1), number(level2), number(period)}
                        .join(QLatin1Char(',')));
                remember(QStringLiteral("VOLT"), channel, number(level1));
                return QString();
            }},
        settingQuery(QStringLiteral("[SOURce#]:VOLTage:WAVeform"), Operation::SetVoltageWaveform,
            Scope::Output, QStringLiteral("WAV"), 4),
        {QStringLiteral("PWM#:DUTY"), false,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::SetPwm);
                requirePwmChannel(channel);
                p.expect(1);
                const int duty = p.integer(0, Unit::Percent);
                check(m_index, setPWM(m_index, channel, duty));
                remember(QStringLiteral("DUTY"), channel, QString::number(duty));
                // A duty setting puts the channel back to plain PWM.
                forget(QStringLiteral("FUNC"), channel);
                return QString();
            }},
        settingQuery(QStringLiteral("PWM#:DUTY"), Operation::SetPwm, Scope::PwmChannel,
            QStringLiteral("DUTY")),
        {QStringLiteral("PWM:FREQuency"), false,
            [this](int, const ScpiParameters& p) {
                require(Operation::SetPwmFrequency);
                p.expect(1);
                const int frequency = p.integer(0, Unit::Hertz);
                check(m_index, setPWMFrequency(m_index, frequency));
                remember(QStringLiteral("FREQ"), 1, QString::number(frequency));
                return QString();
            }},
        settingQuery(QStringLiteral("PWM:FREQuency"), Operation::SetPwmFrequency, Scope::Unit,
            QStringLiteral("FREQ")),
        {QStringLiteral("PWM#:FUNCtion"), false,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::SetPwmFunction);
                requirePwmChannel(channel);
                p.expect(1);
                const int function = p.integer(0);
                check(m_index, setPWMFunction(m_index, channel, function));
                remember(QStringLiteral("FUNC"), channel, QString::number(function));
                // The function's setting carries a duty of 50 %.
                remember(QStringLiteral("DUTY"), channel, QStringLiteral("50"));
                return QString();
            }},
        settingQuery(QStringLiteral("PWM#:FUNCtion"), Operation::SetPwmFunction, Scope::PwmChannel,
            QStringLiteral("FUNC")),
        {QStringLiteral("BUS:LEVel"), false,
            [this](int, const ScpiParameters& p) {
                require(Operation::VoltageBus);
                p.expect(1);
                switchBus(true, p.integer(0));
                return QString();
            }},
        settingQuery(QStringLiteral("BUS:LEVel"), Operation::VoltageBus, Scope::Unit,
            QStringLiteral("BUSLEV")),
        {QStringLiteral("BUS[:STATe]"), false,
            [this](int, const ScpiParameters& p) {
                require(Operation::VoltageBus);
                p.expect(1);
                // Switched on again at the level last set here; level 0 (the lowest) when none was.
                switchBus(p.boolean(0),
                    m_settings.value(key(QStringLiteral("BUSLEV"), 1), QStringLiteral("0"))
                        .toInt());
                return QString();
            }},
        settingQuery(QStringLiteral("BUS[:STATe]"), Operation::VoltageBus, Scope::Unit,
            QStringLiteral("BUS")),
    };
}

QVector<ScpiCommand> SupplyCommands::readingCommands()
{
    return {
        {QStringLiteral("MEASure#:CURRent[:DC]"), true,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::ChannelCurrent);
                requireOutput(channel);
                p.expect(0);
                double current = 0;
                check(m_index, getChannelCurrent(m_index, channel, &current));
                return number(current / kMicro);
            }},
        {QStringLiteral("MEASure:ADC"), true,
            [this](int, const ScpiParameters& p) {
                require(Operation::AdcValue);
                p.expect(0);
                double value = 0;
                check(m_index, getADCValue(m_index, &value));
                return number(value);
            }},
        {QStringLiteral("STATus:SUPPly"), true,
            [this](int, const ScpiParameters& p) {
                require(Operation::SupplyStatus);
                p.expect(0);
                bool error = false;
                // Room for the longest status text of any family with plenty to spare.
                std::array<char, 1024> text{};
                check(m_index, getSupplyStatus(m_index, &error, text.data()));
                // A reply is one line: the lines of a multi-line status text are joined.
                QString joined = QString::fromLatin1(text.data())
                                     .split(QLatin1Char('\n'))
                                     .join(QStringLiteral("; "));
                joined.replace(QLatin1Char('"'), QStringLiteral("\"\""));
                return QStringLiteral("%1,\"%2\"").arg(flag(error), joined);
            }},
        {QStringLiteral("STATus:CHANnel#"), true,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::ChannelStatus);
                requireOutput(channel);
                p.expect(0);
                bool first = false;
                bool second = false;
                check(m_index, getChannelStatus(m_index, channel, &first, &second));
                return flag(first) + QLatin1Char(',') + flag(second);
            }},
    };
}

QVector<ScpiCommand> SupplyCommands::safetyCommands()
{
    return {
        {QStringLiteral("[SOURce#]:VOLTage:SLEW"), false,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::SetVoltage);
                requireOutput(channel);
                p.expect(1);
                // 0, MAXimum or DEFault: no ramp.
                const double rate = p.number(0, Unit::None, {0.0, 0.0, 0.0});
                if (!(rate >= 0))
                    throw ScpiError(ScpiError::DataOutOfRange, QStringLiteral("negative rate"));
                m_ramps.setRate(channel, rate);
                return QString();
            }},
        {QStringLiteral("[SOURce#]:VOLTage:SLEW"), true,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::SetVoltage);
                requireOutput(channel);
                p.expect(0);
                return number(m_ramps.rate(channel));
            }},
        {QStringLiteral("[SOURce#]:VOLTage:RAMP"), true,
            [this](int channel, const ScpiParameters& p) {
                require(Operation::SetVoltage);
                requireOutput(channel);
                p.expect(0);
                return flag(m_ramps.running(channel));
            }},
        {QStringLiteral("[SOURce#]:VOLTage:LIMit"), false,
            [this](int channel, const ScpiParameters& p) {
                requireOutput(channel);
                p.expect(1);
                const double volts = p.number(0, Unit::Volt, {0.0, m_ceiling, m_ceiling});
                if (!(volts >= 0 && volts <= m_ceiling))
                    throw ScpiError(ScpiError::DataOutOfRange,
                        QStringLiteral("limit above %1 V").arg(number(m_ceiling)));
                m_limits[channel] = volts;
                return QString();
            }},
        {QStringLiteral("[SOURce#]:VOLTage:LIMit"), true,
            [this](int channel, const ScpiParameters& p) {
                requireOutput(channel);
                if (p.count() == 1)
                    return number(p.bound(0, {0.0, m_ceiling, m_ceiling}));
                p.expect(0);
                return number(m_limits.at(channel));
            }},
        {QStringLiteral("OUTPut:ALL[:STATe]"), false,
            [this](int, const ScpiParameters& p) {
                p.expect(1);
                if (p.boolean(0))
                    throw ScpiError(ScpiError::IllegalParameterValue, QStringLiteral("ON"));
                m_switchOthersOff();
                check(m_index, switchOff());
                return QString();
            }},
        {QStringLiteral("SYSTem:WDOG"), true,
            [this](int, const ScpiParameters& p) {
                p.expect(0);
                return number(m_watchdogSeconds) + QLatin1Char(',')
                    + QString::number(m_watchdogTrips);
            }},
        // No family reports its output voltage.
        {QStringLiteral("MEASure#:VOLTage[:DC]"), true,
            [](int, const ScpiParameters&) -> QString {
                throw ScpiError(ScpiError::HardwareMissing,
                    QStringLiteral("the unit does not report its output voltage"));
            }},
    };
}

ScpiParameters::Bounds SupplyCommands::voltageBounds(int channel) const
{
    return {0.0, m_limits.at(channel), 0.0};
}

ScpiParameters::Bounds SupplyCommands::currentBounds() const
{
    const double largest = m_profile.largestCurrent() / kMicro;
    return {0.0, largest, largest};
}

void SupplyCommands::requireWithinLimit(int channel, double volts) const
{
    // Without a limit below the family's, the library's own range check speaks.
    if (m_limits.at(channel) < m_profile.highestVoltage() && volts > m_limits.at(channel))
        throw ScpiError(ScpiError::DataOutOfRange,
            QStringLiteral("above the limit of %1 V").arg(number(m_limits.at(channel))));
}

void SupplyCommands::require(Operation operation) const
{
    if (!m_profile.supports(operation))
        throw ScpiError(ScpiError::HardwareMissing, StatusText::meaning(StatusText::NotSupported));
}

void SupplyCommands::requireOutput(int channel) const
{
    if (channel < 1 || channel > m_profile.outputs())
        throw ScpiError(ScpiError::HeaderSuffixOutOfRange);
}

void SupplyCommands::requirePwmChannel(int channel) const
{
    if (channel < 1 || channel > m_profile.pwmChannels())
        throw ScpiError(ScpiError::HeaderSuffixOutOfRange);
}

void SupplyCommands::requireCurrentLimit(int channel) const
{
    require(Operation::SetVoltage);
    if (m_profile.largestCurrent() <= 0)
        throw ScpiError(ScpiError::HardwareMissing, QStringLiteral("no current limit"));
    requireOutput(channel);
}

void SupplyCommands::setCurrentLimit(int channel, double amps)
{
    requireCurrentLimit(channel);
    const double micro = microamps(amps);
    if (!(micro >= 0 && micro <= m_profile.largestCurrent()))
        throw ScpiError(ScpiError::DataOutOfRange, StatusText::meaning(kCurrentOutOfRange));
    m_currentLimits[channel] = micro;
}

void SupplyCommands::switchBus(bool on, int level)
{
    if (!on) {
        check(m_index, disableInternalVoltageBus(m_index));
        remember(QStringLiteral("BUS"), 1, flag(false));
        return;
    }
    // The library keeps the new level even when sending it fails: then both are unknown.
    checkOrForget(m_index, enableInternalVoltageBus(m_index, level), [this] {
        forget(QStringLiteral("BUSLEV"), 1);
        forget(QStringLiteral("BUS"), 1);
    });
    remember(QStringLiteral("BUSLEV"), 1, QString::number(level));
    remember(QStringLiteral("BUS"), 1, flag(true));
}

ScpiCommand SupplyCommands::settingQuery(
    const QString& header, Operation operation, Scope scope, const QString& setting, int values)
{
    return {header, true,
        [this, operation, scope, setting, values](int channel, const ScpiParameters& p) {
            require(operation);
            if (scope == Scope::Output)
                requireOutput(channel);
            else if (scope == Scope::PwmChannel)
                requirePwmChannel(channel);
            p.expect(0);
            return recalled(setting, scope == Scope::Unit ? 1 : channel, values);
        }};
}

QString SupplyCommands::recalled(const QString& setting, int channel, int values) const
{
    const auto found = m_settings.constFind(key(setting, channel));
    if (found != m_settings.constEnd())
        return found.value();
    QStringList unknown;
    for (int i = 0; i < values; ++i)
        unknown.append(kNotANumber);
    return unknown.join(QLatin1Char(','));
}

void SupplyCommands::remember(const QString& setting, int channel, const QString& value)
{
    m_settings.insert(key(setting, channel), value);
}

void SupplyCommands::forget(const QString& setting, int channel)
{
    m_settings.remove(key(setting, channel));
}
