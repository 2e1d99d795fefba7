#include "Demo.h"

#include "Output.h"
#include "StatusReader.h"
#include "StatusTable.h"
#include "StatusText.h"
#include "ToolError.h"
#include "UnitDirectory.h"

#include <KavraLib.h>

#include <array>

Demo::Demo(const Output& output) : m_output(output)
{
}

int Demo::run()
{
    std::array<char, 32> version{};
    getLibraryVersion(version.data(), int(version.size()));
    const QList<UnitIdentity> units = UnitDirectory::list();
    m_output.line(QStringLiteral("KavraLib %1: %2 unit(s) attached\n").arg(QString::fromLatin1(version.data())).arg(units.size()));
    m_output.line(StatusTable::listing(units));

    QJsonArray unitDocuments;
    for (const UnitIdentity& unit : units) {
        m_steps = QJsonArray();
        m_output.line();
        m_output.line(QStringLiteral("== Unit %1: %2, %3 %4 ==").arg(unit.index()).arg(unit.serial(), unit.family(), unit.model()));
        const QString family = unit.family();
        if (family == QLatin1String("Alder"))
            alder(unit);
        else if (family == QLatin1String("Cedar"))
            cedar(unit);
        else if (family == QLatin1String("Generic"))
            generic(unit);
        else if (family == QLatin1String("Birch"))
            birch(unit);
        else if (family == QLatin1String("Rowan"))
            rowan(unit);
        else
            m_output.line(QStringLiteral("  no family: the unit offers no operations"));
        QJsonObject document = unit.toJson();
        document.insert(QStringLiteral("steps"), m_steps);
        unitDocuments.append(document);
    }
    m_output.line();
    m_output.line(m_failures == 0 ? QStringLiteral("Demo finished: every step succeeded.")
                                  : QStringLiteral("Demo finished: %1 step(s) failed.").arg(m_failures));
    m_output.document(QJsonObject{{QStringLiteral("library"), QString::fromLatin1(version.data())},
                                  {QStringLiteral("units"), unitDocuments},
                                  {QStringLiteral("failures"), m_failures}});
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
    m_output.line(QStringLiteral("  %1 %2").arg(description.leftJustified(52, QLatin1Char('.')), outcome));
    return status;
}

void Demo::reading(const QString& action, const QString& description, const std::function<int(double*)>& call)
{
    double value = 0;
    const int status = call(&value);
    QJsonObject record{{QStringLiteral("action"), action}, {QStringLiteral("status"), status}};
    QString outcome;
    if (status == StatusText::Success) {
        record.insert(QStringLiteral("value"), value);
        outcome = QString::number(value);
    } else {
        record.insert(QStringLiteral("meaning"), StatusText::meaning(status));
        outcome = QStringLiteral("error %1: %2").arg(status).arg(StatusText::meaning(status));
        ++m_failures;
    }
    m_steps.append(record);
    m_output.line(QStringLiteral("  %1 %2").arg(description.leftJustified(52, QLatin1Char('.')), outcome));
}

void Demo::status(const UnitIdentity& unit)
{
    QJsonObject record{{QStringLiteral("action"), QStringLiteral("status")}};
    try {
        const QJsonObject reading = StatusReader::read(unit);
        record.insert(QStringLiteral("status"), StatusText::Success);
        record.insert(QStringLiteral("reading"), reading);
        m_output.line(QStringLiteral("  status:"));
        for (const QString& line : StatusTable::render(QJsonArray{reading}).split(QLatin1Char('\n')))
            m_output.line(QStringLiteral("    ") + line);
    } catch (const ToolError& error) {
        record.insert(QStringLiteral("status"), error.statusCode());
        record.insert(QStringLiteral("meaning"), StatusText::meaning(error.statusCode()));
        m_output.line(QStringLiteral("  status: ") + error.message());
        ++m_failures;
    }
    m_steps.append(record);
}

void Demo::alder(const UnitIdentity& unit)
{
    const int i = unit.index();
    step(QStringLiteral("pwm-frequency"), QStringLiteral("set the PWM frequency to 1000 Hz"),
         {{QStringLiteral("frequency"), 1000}}, [i] { return setPWMFrequency(i, 1000); });
    step(QStringLiteral("pwm"), QStringLiteral("set PWM channel 1 to 25 % duty"),
         {{QStringLiteral("channel"), 1}, {QStringLiteral("duty"), 25}}, [i] { return setPWM(i, 1, 25); });
    step(QStringLiteral("set-voltage"), QStringLiteral("set channel 1 to 500 V, current limit 100 µA"),
         {{QStringLiteral("channel"), 1}, {QStringLiteral("voltage"), 500}, {QStringLiteral("current"), 100}},
         [i] { return setVoltage(i, 1, 500, 100); });
    step(QStringLiteral("on"), QStringLiteral("switch channel 1 on"), {{QStringLiteral("channel"), 1}},
         [i] { return turnVoltageOn(i, 1); });
    status(unit);
    reading(QStringLiteral("current"), QStringLiteral("read the current of channel 1"),
            [i](double* value) { return getChannelCurrent(i, 1, value); });
    step(QStringLiteral("off"), QStringLiteral("switch channel 1 off"), {{QStringLiteral("channel"), 1}},
         [i] { return turnVoltageOff(i, 1); });
    step(QStringLiteral("clear-error"), QStringLiteral("clear the error"), {}, [i] { return clearError(i); });
}

void Demo::cedar(const UnitIdentity& unit)
{
    const int i = unit.index();
    step(QStringLiteral("bus-on"), QStringLiteral("switch the voltage bus on at level 1"),
         {{QStringLiteral("level"), 1}}, [i] { return enableInternalVoltageBus(i, 1); });
    step(QStringLiteral("pwm-frequency"), QStringLiteral("set the PWM frequency to 20000 Hz"),
         {{QStringLiteral("frequency"), 20000}}, [i] { return setPWMFrequency(i, 20000); });
    step(QStringLiteral("pwm-function"), QStringLiteral("set PWM channel 1 to function 1"),
         {{QStringLiteral("channel"), 1}, {QStringLiteral("function"), 1}}, [i] { return setPWMFunction(i, 1, 1); });
    step(QStringLiteral("pwm"), QStringLiteral("set PWM channel 2 to 40 % duty"),
         {{QStringLiteral("channel"), 2}, {QStringLiteral("duty"), 40}}, [i] { return setPWM(i, 2, 40); });
    step(QStringLiteral("set-voltage"), QStringLiteral("set output 1 to 80 V"),
         {{QStringLiteral("channel"), 1}, {QStringLiteral("voltage"), 80}, {QStringLiteral("current"), 0}},
         [i] { return setVoltage(i, 1, 80, 0); });
    step(QStringLiteral("waveform"), QStringLiteral("set output 2 to waveform 1, 20 V / 60 V, period 0.5 s"),
         {{QStringLiteral("channel"), 2}, {QStringLiteral("waveform"), 1}, {QStringLiteral("level1"), 20},
          {QStringLiteral("level2"), 60}, {QStringLiteral("period"), 0.5}},
         [i] { return setVoltageWaveform(i, 2, 1, 20, 60, 0.5); });
    step(QStringLiteral("on"), QStringLiteral("switch output 1 on"), {{QStringLiteral("channel"), 1}},
         [i] { return turnVoltageOn(i, 1); });
    step(QStringLiteral("on"), QStringLiteral("switch output 2 on"), {{QStringLiteral("channel"), 2}},
         [i] { return turnVoltageOn(i, 2); });
    status(unit);
    step(QStringLiteral("off"), QStringLiteral("switch output 2 off"), {{QStringLiteral("channel"), 2}},
         [i] { return turnVoltageOff(i, 2); });
    step(QStringLiteral("off"), QStringLiteral("switch output 1 off"), {{QStringLiteral("channel"), 1}},
         [i] { return turnVoltageOff(i, 1); });
    step(QStringLiteral("bus-off"), QStringLiteral("switch the voltage bus off"), {},
         [i] { return disableInternalVoltageBus(i); });
}

void Demo::generic(const UnitIdentity& unit)
{
    const int i = unit.index();
    // The two Generic models differ in their ranges; stay well inside both.
    const bool dualPolarity = unit.product() == 25;
    const double voltage = dualPolarity ? 1000 : 1500;
    const double limit = dualPolarity ? 200 : 100;
    if (dualPolarity) {
        step(QStringLiteral("polarity"), QStringLiteral("set channel 1 to polarity 1"),
             {{QStringLiteral("channel"), 1}, {QStringLiteral("polarity"), 1}}, [i] { return setPolarity(i, 1, 1); });
    }
    step(QStringLiteral("set-voltage"),
         QStringLiteral("set channel 1 to %1 V, current limit %2 µA").arg(voltage).arg(limit),
         {{QStringLiteral("channel"), 1}, {QStringLiteral("voltage"), voltage}, {QStringLiteral("current"), limit}},
         [i, voltage, limit] { return setVoltage(i, 1, voltage, limit); });
    step(QStringLiteral("on"), QStringLiteral("switch channel 1 on"), {{QStringLiteral("channel"), 1}},
         [i] { return turnVoltageOn(i, 1); });
    status(unit);
    reading(QStringLiteral("current"), QStringLiteral("read the current of channel 1"),
            [i](double* value) { return getChannelCurrent(i, 1, value); });
    step(QStringLiteral("off"), QStringLiteral("switch channel 1 off"), {{QStringLiteral("channel"), 1}},
         [i] { return turnVoltageOff(i, 1); });
    if (dualPolarity) {
        step(QStringLiteral("polarity"), QStringLiteral("set channel 1 back to polarity 0"),
             {{QStringLiteral("channel"), 1}, {QStringLiteral("polarity"), 0}}, [i] { return setPolarity(i, 1, 0); });
    }
}

void Demo::birch(const UnitIdentity& unit)
{
    const int i = unit.index();
    step(QStringLiteral("set-accurate-voltage"), QStringLiteral("set channel 1 to 12000 V, second value 1.5"),
         {{QStringLiteral("channel"), 1}, {QStringLiteral("voltage"), 12000}, {QStringLiteral("second"), 1.5}},
         [i] { return setAccurateVoltage(i, 1, 12000, 1.5); });
    step(QStringLiteral("off"), QStringLiteral("switch channel 1 off"), {{QStringLiteral("channel"), 1}},
         [i] { return turnVoltageOff(i, 1); });
}

void Demo::rowan(const UnitIdentity& unit)
{
    const int i = unit.index();
    reading(QStringLiteral("adc"), QStringLiteral("read the converter value"),
            [i](double* value) { return getADCValue(i, value); });
    status(unit);
}
