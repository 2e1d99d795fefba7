#include "UnitCommands.h"

#include "CommandLine.h"
#include "DriverInfo.h"
#include "Output.h"
#include "StatusReader.h"
#include "StatusTable.h"
#include "StatusText.h"
#include "ToolError.h"
#include "UnitDirectory.h"

#include <KavraLib.h>

#include <QJsonArray>

#include <functional>
#include <map>

UnitCommands::UnitCommands(const CommandLine& commandLine, const Output& output)
    : m_commandLine(commandLine), m_output(output)
{ }

bool UnitCommands::run(const QString& command)
{
    const std::map<QString, std::function<void()>> table = {
        {QStringLiteral("list"), [this] { list(); }},
        {QStringLiteral("status"), [this] { status(); }},
        {QStringLiteral("set-voltage"), [this] { setVoltage(); }},
        {QStringLiteral("set-accurate-voltage"), [this] { setAccurateVoltage(); }},
        {QStringLiteral("waveform"), [this] { waveform(); }},
        {QStringLiteral("pwm"), [this] { pwm(); }},
        {QStringLiteral("pwm-frequency"), [this] { pwmFrequency(); }},
        {QStringLiteral("pwm-function"), [this] { pwmFunction(); }},
        {QStringLiteral("polarity"), [this] { polarity(); }},
        {QStringLiteral("on"), [this] { switchOutput(true); }},
        {QStringLiteral("off"), [this] { switchOutput(false); }},
        {QStringLiteral("off-all"), [this] { offAll(); }},
        {QStringLiteral("bus"), [this] { bus(); }},
        {QStringLiteral("current"), [this] { current(); }},
        {QStringLiteral("adc"), [this] { adc(); }},
        {QStringLiteral("clear-error"), [this] { clearError(); }},
    };
    const auto found = table.find(command);
    if (found == table.end())
        return false;
    found->second();
    return true;
}

UnitIdentity UnitCommands::unit() const
{
    return UnitDirectory::resolve(m_commandLine.argument(0));
}

void UnitCommands::check(int status, const UnitIdentity& unit) const
{
    if (status != StatusText::Success)
        throw ToolError::status(status,
            QStringLiteral("%1: %2").arg(unit.label(), m_commandLine.command()), unit.index());
}

void UnitCommands::report(const UnitIdentity& unit, QJsonObject fields, const QString& text) const
{
    fields.insert(QStringLiteral("command"), m_commandLine.command());
    fields.insert(QStringLiteral("unit"), unit.toJson());
    fields.insert(QStringLiteral("status"), StatusText::Success);
    m_output.document(fields);
    m_output.line(QStringLiteral("%1: %2").arg(unit.label(), text));
}

void UnitCommands::reportUnits(const QJsonArray& units, const QString& table) const
{
    QJsonObject document{{QStringLiteral("units"), units}};
    m_output.line(table);
    // Nothing found: the D2XX library in use is the first thing to check.
    if (units.isEmpty()) {
        const DriverInfo driver = DriverInfo::query();
        document.insert(QStringLiteral("driver"), driver.toJson());
        m_output.line(driver.line());
    }
    m_output.document(document);
}

void UnitCommands::list()
{
    const QList<UnitIdentity> units = UnitDirectory::list();
    QJsonArray array;
    for (const UnitIdentity& unit : units) {
        // The limits come from the library's family table, the one place that holds them.
        QJsonObject entry = unit.toJson();
        entry.insert(QStringLiteral("highestVoltage"), unit.highestVoltage());
        entry.insert(QStringLiteral("highestCurrent"), unit.highestCurrent());
        array.append(entry);
    }
    reportUnits(array, StatusTable::listing(units));
}

void UnitCommands::status()
{
    if (m_commandLine.hasArgument(0)) {
        const QJsonObject status = StatusReader::read(unit());
        m_output.document(QJsonObject{{QStringLiteral("units"), QJsonArray{status}}});
        m_output.line(StatusTable::render(QJsonArray{status}));
        return;
    }
    int failures = 0;
    const QJsonArray statuses = StatusReader::readAll(UnitDirectory::list(), &failures);
    reportUnits(statuses, StatusTable::render(statuses));
    if (failures > 0) {
        // The table shows which units failed; the first failure decides the message.
        for (const QJsonValue& status : statuses) {
            const QJsonObject error = status[QStringLiteral("error")].toObject();
            if (!error.isEmpty())
                throw ToolError::status(error[QStringLiteral("status")].toInt(),
                    QStringLiteral("status of unit %1")
                        .arg(status[QStringLiteral("index")].toInt()),
                    status[QStringLiteral("index")].toInt());
        }
    }
}

void UnitCommands::setVoltage()
{
    const int channel = m_commandLine.integer(1);
    const double voltage = m_commandLine.number(2);
    const double current = m_commandLine.number(3);
    const UnitIdentity target = unit();
    check(::setVoltage(target.index(), channel, voltage, current), target);
    report(target,
        {{QStringLiteral("channel"), channel}, {QStringLiteral("voltage"), voltage},
            {QStringLiteral("current"), current}},
        QStringLiteral("channel %1 set to %2 V, current limit %3 µA")
            .arg(channel)
            .arg(voltage)
            .arg(current));
}

void UnitCommands::setAccurateVoltage()
{
    const int channel = m_commandLine.integer(1);
    const double voltage = m_commandLine.number(2);
    const double second = m_commandLine.number(3);
    const UnitIdentity target = unit();
    check(::setAccurateVoltage(target.index(), channel, voltage, second), target);
    report(target,
        {{QStringLiteral("channel"), channel}, {QStringLiteral("voltage"), voltage},
            {QStringLiteral("second"), second}},
        QStringLiteral("channel %1 set to %2 V, second value %3")
            .arg(channel)
            .arg(voltage)
            .arg(second));
}

void UnitCommands::waveform()
{
    const int channel = m_commandLine.integer(1);
    const int waveform = m_commandLine.integer(2);
    const double level1 = m_commandLine.number(3);
    const double level2 = m_commandLine.number(4);
    const double period = m_commandLine.number(5);
    const UnitIdentity target = unit();
    check(::setVoltageWaveform(target.index(), channel, waveform, level1, level2, period), target);
    report(target,
        {{QStringLiteral("channel"), channel}, {QStringLiteral("waveform"), waveform},
            {QStringLiteral("level1"), level1}, {QStringLiteral("level2"), level2},
            {QStringLiteral("period"), period}},
        QStringLiteral("channel %1 set to waveform %2 between %3 V and %4 V, period %5 s")
            .arg(channel)
            .arg(waveform)
            .arg(level1)
            .arg(level2)
            .arg(period));
}

void UnitCommands::pwm()
{
    const int channel = m_commandLine.integer(1);
    const int duty = m_commandLine.integer(2);
    const UnitIdentity target = unit();
    check(::setPWM(target.index(), channel, duty), target);
    report(target, {{QStringLiteral("channel"), channel}, {QStringLiteral("duty"), duty}},
        QStringLiteral("PWM channel %1 set to %2 % duty").arg(channel).arg(duty));
}

void UnitCommands::pwmFrequency()
{
    const int frequency = m_commandLine.integer(1);
    const UnitIdentity target = unit();
    check(::setPWMFrequency(target.index(), frequency), target);
    report(target, {{QStringLiteral("frequency"), frequency}},
        QStringLiteral("PWM frequency set to %1 Hz").arg(frequency));
}

void UnitCommands::pwmFunction()
{
    const int channel = m_commandLine.integer(1);
    const int function = m_commandLine.integer(2);
    const UnitIdentity target = unit();
    check(::setPWMFunction(target.index(), channel, function), target);
    report(target, {{QStringLiteral("channel"), channel}, {QStringLiteral("function"), function}},
        QStringLiteral("PWM channel %1 set to function %2").arg(channel).arg(function));
}

void UnitCommands::polarity()
{
    const int channel = m_commandLine.integer(1);
    const int polarity = m_commandLine.integer(2);
    const UnitIdentity target = unit();
    check(::setPolarity(target.index(), channel, polarity), target);
    report(target, {{QStringLiteral("channel"), channel}, {QStringLiteral("polarity"), polarity}},
        QStringLiteral("channel %1 set to polarity %2").arg(channel).arg(polarity));
}

void UnitCommands::switchOutput(bool on)
{
    const int channel = m_commandLine.integer(1);
    const UnitIdentity target = unit();
    check(on ? ::turnVoltageOn(target.index(), channel) : ::turnVoltageOff(target.index(), channel),
        target);
    report(target, {{QStringLiteral("channel"), channel}, {QStringLiteral("on"), on}},
        QStringLiteral("channel %1 switched %2")
            .arg(channel)
            .arg(on ? QStringLiteral("on") : QStringLiteral("off")));
}

void UnitCommands::offAll()
{
    int highest = 0;
    getHighestDeviceIndex(&highest);
    QJsonArray units;
    int firstFailure = StatusText::Success;
    for (int index = 1; index <= highest; ++index) {
        const UnitIdentity target = UnitIdentity::ofIndex(index);
        int status = StatusText::Success;
        if (target.supports(KAVRA_OPERATION_TURN_VOLTAGE_OFF)) {
            for (int channel = 1; channel <= target.channelCount(); ++channel) {
                const int result = ::turnVoltageOff(index, channel);
                if (status == StatusText::Success)
                    status = result;
            }
        }
        if (firstFailure == StatusText::Success)
            firstFailure = status;
        units.append(QJsonObject{
            {QStringLiteral("unit"), target.toJson()}, {QStringLiteral("status"), status}});
        m_output.line(QStringLiteral("%1: %2").arg(target.label(),
            status == StatusText::Success ? QStringLiteral("outputs off")
                                          : StatusText::meaning(status)));
    }
    m_output.document({{QStringLiteral("command"), m_commandLine.command()},
        {QStringLiteral("units"), units}, {QStringLiteral("status"), firstFailure}});
    if (firstFailure != StatusText::Success)
        throw ToolError::status(firstFailure, QStringLiteral("off-all"));
}

void UnitCommands::bus()
{
    const QString state = m_commandLine.argument(1).toLower();
    if (state == QLatin1String("on")) {
        if (!m_commandLine.hasArgument(2))
            throw ToolError::usage(
                QStringLiteral("bus UNIT on takes a LEVEL"), m_commandLine.command());
        const int level = m_commandLine.integer(2);
        const UnitIdentity target = unit();
        check(::enableInternalVoltageBus(target.index(), level), target);
        report(target, {{QStringLiteral("on"), true}, {QStringLiteral("level"), level}},
            QStringLiteral("voltage bus switched on at level %1").arg(level));
    } else if (state == QLatin1String("off")) {
        if (m_commandLine.hasArgument(2))
            throw ToolError::usage(
                QStringLiteral("bus UNIT off takes no LEVEL"), m_commandLine.command());
        const UnitIdentity target = unit();
        check(::disableInternalVoltageBus(target.index()), target);
        report(target, {{QStringLiteral("on"), false}}, QStringLiteral("voltage bus switched off"));
    } else {
        throw ToolError::usage(
            QStringLiteral("STATE must be on or off, not '%1'").arg(m_commandLine.argument(1)),
            m_commandLine.command());
    }
}

void UnitCommands::current()
{
    const int channel = m_commandLine.integer(1);
    const UnitIdentity target = unit();
    double value = 0;
    check(::getChannelCurrent(target.index(), channel, &value), target);
    report(target, {{QStringLiteral("channel"), channel}, {QStringLiteral("current"), value}},
        QStringLiteral("channel %1 current %2 µA").arg(channel).arg(value));
}

void UnitCommands::adc()
{
    const UnitIdentity target = unit();
    double value = 0;
    check(::getADCValue(target.index(), &value), target);
    report(
        target, {{QStringLiteral("adc"), value}}, QStringLiteral("converter value %1").arg(value));
}

void UnitCommands::clearError()
{
    const UnitIdentity target = unit();
    check(::clearError(target.index()), target);
    report(target, {}, QStringLiteral("error cleared"));
}
