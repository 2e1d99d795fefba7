#include "Demo.h"

#include "Output.h"
#include "StatusReader.h"
#include "StatusTable.h"
#include "StatusText.h"
#include "ToolError.h"
#include "UnitDirectory.h"

#include <KavraLib.h>

#include <array>

Demo::Demo(const Output& output) : m_output(output) { }

int Demo::run()
{
    std::array<char, 32> version{};
    getLibraryVersion(version.data(), int(version.size()));
    const QList<UnitIdentity> units = UnitDirectory::list();
    m_output.line(QStringLiteral("KavraLib %1: %2 unit(s) attached\n")
                      .arg(QString::fromLatin1(version.data()))
                      .arg(units.size()));
    m_output.line(StatusTable::listing(units));

    QJsonArray unitDocuments;
    for (const UnitIdentity& unit : units) {
        m_steps = QJsonArray();
        m_output.line();
        m_output.line(QStringLiteral("== Unit %1: %2, %3 %4 ==")
                          .arg(unit.index())
                          .arg(unit.serial(), unit.family(), unit.model()));
        walk(unit);
        QJsonObject document = unit.toJson();
        document.insert(QStringLiteral("steps"), m_steps);
        unitDocuments.append(document);
    }
    m_output.line();
    m_output.line(m_failures == 0
            ? QStringLiteral("Demo finished: every step succeeded.")
            : QStringLiteral("Demo finished: %1 step(s) failed.").arg(m_failures));
    m_output.document(QJsonObject{{QStringLiteral("library"), QString::fromLatin1(version.data())},
        {QStringLiteral("units"), unitDocuments}, {QStringLiteral("failures"), m_failures}});
    return m_failures;
}

int Demo::step(const QString& action, const QString& description, const QJsonObject& arguments,
    const std::function<int()>& call)
{
    const int status = call();
    QJsonObject record = arguments;
    record.insert(QStringLiteral("action"), action);
    record.insert(QStringLiteral("status"), status);
    if (status != StatusText::Success) {
        record.insert(QStringLiteral("meaning"), StatusText::meaning(status));
        ++m_failures;
    }
    m_steps.append(record);
    const QString outcome = status == StatusText::Success
        ? QStringLiteral("ok")
        : QStringLiteral("error %1: %2").arg(status).arg(StatusText::meaning(status));
    m_output.line(
        QStringLiteral("  %1 %2").arg(description.leftJustified(52, QLatin1Char('.')), outcome));
    return status;
}

void Demo::status(const UnitIdentity& unit)
{
    QJsonObject record{{QStringLiteral("action"), QStringLiteral("status")}};
    try {
        const QJsonObject reading = StatusReader::read(unit);
        record.insert(QStringLiteral("status"), StatusText::Success);
        record.insert(QStringLiteral("reading"), reading);
        m_output.line(QStringLiteral("  status:"));
        for (const QString& line :
            StatusTable::render(QJsonArray{reading}).split(QLatin1Char('\n')))
            m_output.line(QStringLiteral("    ") + line);
    } catch (const ToolError& error) {
        record.insert(QStringLiteral("status"), error.statusCode());
        record.insert(QStringLiteral("meaning"), StatusText::meaning(error.statusCode()));
        m_output.line(QStringLiteral("  status: ") + error.message());
        ++m_failures;
    }
    m_steps.append(record);
}

void Demo::walk(const UnitIdentity& unit)
{
    struct Step
    {
        unsigned operation;
        const char* action;
        QString description;
        QJsonObject arguments;
        std::function<int(int index)> call;
    };
    const QJsonObject channel1{{QStringLiteral("channel"), 1}};
    // 100 µA where the family's voltage setting takes a current limit, none where it takes none.
    const double current = unit.highestCurrent() > 0 ? 100 : 0;
    const QString currentText = current > 0 ? QStringLiteral(", current limit 100 µA") : QString();
    // Values inside the ranges of every family that has the operation.
    const Step settings[] = {
        {KAVRA_OPERATION_ENABLE_INTERNAL_VOLTAGE_BUS, "bus-on",
            "switch the voltage bus on at level 1", {{QStringLiteral("level"), 1}},
            [](int i) { return enableInternalVoltageBus(i, 1); }},
        {KAVRA_OPERATION_SET_POLARITY, "polarity", "set channel 1 to polarity 1",
            {{QStringLiteral("channel"), 1}, {QStringLiteral("polarity"), 1}},
            [](int i) { return setPolarity(i, 1, 1); }},
        {KAVRA_OPERATION_SET_PWM_FREQUENCY, "pwm-frequency", "set the PWM frequency to 1000 Hz",
            {{QStringLiteral("frequency"), 1000}}, [](int i) { return setPWMFrequency(i, 1000); }},
        {KAVRA_OPERATION_SET_PWM_FUNCTION, "pwm-function", "set PWM channel 1 to function 1",
            {{QStringLiteral("channel"), 1}, {QStringLiteral("function"), 1}},
            [](int i) { return setPWMFunction(i, 1, 1); }},
        {KAVRA_OPERATION_SET_PWM, "pwm", "set PWM channel 1 to 25 % duty",
            {{QStringLiteral("channel"), 1}, {QStringLiteral("duty"), 25}},
            [](int i) { return setPWM(i, 1, 25); }},
        {KAVRA_OPERATION_SET_VOLTAGE, "set-voltage", "set channel 1 to 50 V" + currentText,
            {{QStringLiteral("channel"), 1}, {QStringLiteral("voltage"), 50},
                {QStringLiteral("current"), current}},
            [current](int i) { return setVoltage(i, 1, 50, current); }},
        {KAVRA_OPERATION_SET_ACCURATE_VOLTAGE, "set-accurate-voltage",
            "set channel 1 to 12000 V, second value 1.5",
            {{QStringLiteral("channel"), 1}, {QStringLiteral("voltage"), 12000},
                {QStringLiteral("second"), 1.5}},
            [](int i) { return setAccurateVoltage(i, 1, 12000, 1.5); }},
        {KAVRA_OPERATION_SET_VOLTAGE_WAVEFORM, "waveform",
            "set channel 1 to waveform 1, 20 V / 60 V, period 0.5 s",
            {{QStringLiteral("channel"), 1}, {QStringLiteral("waveform"), 1},
                {QStringLiteral("level1"), 20}, {QStringLiteral("level2"), 60},
                {QStringLiteral("period"), 0.5}},
            [](int i) { return setVoltageWaveform(i, 1, 1, 20, 60, 0.5); }},
        {KAVRA_OPERATION_TURN_VOLTAGE_ON, "on", "switch channel 1 on", channel1,
            [](int i) { return turnVoltageOn(i, 1); }},
    };
    // After the readings.
    const Step settingsBack[] = {
        {KAVRA_OPERATION_TURN_VOLTAGE_OFF, "off", "switch channel 1 off", channel1,
            [](int i) { return turnVoltageOff(i, 1); }},
        {KAVRA_OPERATION_SET_POLARITY, "polarity", "set channel 1 back to polarity 0",
            {{QStringLiteral("channel"), 1}, {QStringLiteral("polarity"), 0}},
            [](int i) { return setPolarity(i, 1, 0); }},
        {KAVRA_OPERATION_DISABLE_INTERNAL_VOLTAGE_BUS, "bus-off", "switch the voltage bus off", {},
            [](int i) { return disableInternalVoltageBus(i); }},
        {KAVRA_OPERATION_CLEAR_ERROR, "clear-error", "clear the error", {},
            [](int i) { return clearError(i); }},
    };
    const unsigned readings = KAVRA_OPERATION_GET_SUPPLY_STATUS | KAVRA_OPERATION_GET_CHANNEL_STATUS
        | KAVRA_OPERATION_GET_CHANNEL_CURRENT | KAVRA_OPERATION_GET_ADC_VALUE;
    if (!unit.supports(~0u)) {
        m_output.line(QStringLiteral("  no family: the unit offers no operations"));
        return;
    }
    const int index = unit.index();
    const auto walkThrough = [&](const auto& steps) {
        for (const Step& s : steps) {
            if (unit.supports(s.operation))
                step(QString::fromLatin1(s.action), s.description, s.arguments,
                    [&s, index] { return s.call(index); });
        }
    };
    walkThrough(settings);
    if (unit.supports(readings))
        status(unit);
    walkThrough(settingsBack);
}
