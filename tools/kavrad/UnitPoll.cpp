#include "UnitPoll.h"

#include "ClientState.h"
#include "ScpiInstrument.h"

#include <KavraLib.h>

#include <QDateTime>
#include <QJsonArray>

#include <array>

namespace {

using Operation = UnitProfile::Operation;

// SCPI's not-a-number stands for a setting not made yet.
QJsonValue setting(const QString& reply)
{
    bool ok = false;
    const double value = reply.toDouble(&ok);
    return ok && value < 9.9e37 ? QJsonValue(value) : QJsonValue();
}

} // namespace

UnitPoll::UnitPoll(const UnitProfile& profile, ScpiInstrument& instrument)
    : m_profile(profile), m_instrument(instrument)
{ }

QJsonObject UnitPoll::describe(const UnitProfile& profile)
{
    const auto has = [&profile](Operation operation) { return profile.supports(operation); };
    return {
        {QStringLiteral("index"), profile.identity().index()},
        {QStringLiteral("serial"), profile.identity().serial()},
        {QStringLiteral("model"), profile.modelName()},
        {QStringLiteral("outputs"), profile.outputs()},
        {QStringLiteral("canSwitch"), has(Operation::TurnOn)},
        {QStringLiteral("canSetVoltage"), has(Operation::SetVoltage)},
        {QStringLiteral("canClear"), has(Operation::ClearError)},
        {QStringLiteral("hasCurrent"), has(Operation::ChannelCurrent)},
        {QStringLiteral("hasAdc"), has(Operation::AdcValue)},
        {QStringLiteral("highestVoltage"), profile.highestVoltage()},
    };
}

bool UnitPoll::query(const QString& line, QString* reply, bool* failed)
{
    ClientState state;
    *reply = m_instrument.execute(line, state);
    if (state.errorCount() == 0)
        return true;
    // Positive codes are the library's: the exchange with the unit failed.
    *failed = state.next().code() > 0;
    return false;
}

QJsonObject UnitPoll::take()
{
    const int index = m_profile.identity().index();
    QJsonObject reading{{QStringLiteral("index"), index},
        {QStringLiteral("t"), double(QDateTime::currentMSecsSinceEpoch())}};
    bool failed = false;
    QString reply;
    QJsonArray outputs;
    for (int channel = 1; channel <= m_profile.outputs() && !failed; ++channel) {
        QJsonObject output;
        const QString n = QString::number(channel);
        if (m_profile.supports(Operation::ChannelStatus)
            && query(QStringLiteral("STAT:CHAN%1?").arg(n), &reply, &failed))
            output.insert(QStringLiteral("on"), reply.startsWith(QLatin1Char('1')));
        if (m_profile.supports(Operation::SetVoltage)) {
            if (query(QStringLiteral("SOUR%1:VOLT?;SOUR%1:VOLT:RAMP?").arg(n), &reply, &failed)) {
                output.insert(
                    QStringLiteral("voltage"), setting(reply.section(QLatin1Char(';'), 0, 0)));
                output.insert(QStringLiteral("ramping"), reply.endsWith(QLatin1Char('1')));
            }
        } else if (m_profile.supports(Operation::SetAccurateVoltage)
            && query(QStringLiteral("SOUR%1:VOLT:ACC?").arg(n), &reply, &failed)) {
            output.insert(
                QStringLiteral("voltage"), setting(reply.section(QLatin1Char(','), 0, 0)));
        }
        if (m_profile.supports(Operation::SetPolarity)
            && query(QStringLiteral("OUTP%1:POL?").arg(n), &reply, &failed))
            output.insert(QStringLiteral("polarity"),
                reply.startsWith(QLatin1Char('9')) ? QJsonValue() : QJsonValue(reply));
        if (!failed && m_profile.supports(Operation::ChannelCurrent)
            && query(QStringLiteral("MEAS%1:CURR?").arg(n), &reply, &failed))
            output.insert(QStringLiteral("current"), reply.toDouble());
        outputs.append(output);
    }
    reading.insert(QStringLiteral("outputs"), outputs);
    if (!failed && m_profile.supports(Operation::SupplyStatus)
        && query(QStringLiteral("STAT:SUPP?"), &reply, &failed)) {
        QString text = reply.section(QLatin1Char(','), 1);
        text = text.mid(1, text.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
        reading.insert(QStringLiteral("supply"),
            QJsonObject{{QStringLiteral("error"), reply.startsWith(QLatin1Char('1'))},
                {QStringLiteral("text"), text}});
    }
    if (!failed && m_profile.supports(Operation::AdcValue)
        && query(QStringLiteral("MEAS:ADC?"), &reply, &failed))
        reading.insert(QStringLiteral("adc"), reply.toDouble());
    reading.insert(QStringLiteral("connected"), !failed);
    if (failed) {
        std::array<char, 1024> text{};
        if (getLastErrorText(index, text.data(), int(text.size())) == 0)
            reading.insert(QStringLiteral("error"), QString::fromUtf8(text.data()));
    }
    return reading;
}
