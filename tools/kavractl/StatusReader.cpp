#include "StatusReader.h"

#include "StatusText.h"
#include "ToolError.h"

#include <KavraLib.h>

#include <array>

namespace {

// Reads only what the unit's family has: asking for a reading it lacks would leave "not
// supported" as the unit's last error text.
void check(int status, const UnitIdentity& unit, const QString& what)
{
    if (status != StatusText::Success)
        throw ToolError::status(
            status, QStringLiteral("%1: %2").arg(unit.label(), what), unit.index());
}

} // namespace

QJsonObject StatusReader::read(const UnitIdentity& unit)
{
    const int index = unit.index();
    QJsonObject result = unit.toJson();

    bool flag = false;
    // Cedar's text is the longest at 222 bytes.
    std::array<char, 256> text{};
    if (unit.supports(KAVRA_OPERATION_GET_SUPPLY_STATUS)) {
        check(getSupplyStatus(index, &flag, text.data()), unit, QStringLiteral("supply status"));
        result.insert(QStringLiteral("supply"),
            QJsonObject{{QStringLiteral("error"), flag},
                {QStringLiteral("text"), QString::fromLatin1(text.data()).trimmed()}});
    }

    QJsonArray channels;
    for (int channel = 1; channel <= unit.channelCount(); ++channel) {
        QJsonObject entry;
        bool first = false;
        bool second = false;
        const QString context = QStringLiteral("channel %1").arg(channel);
        if (unit.supports(KAVRA_OPERATION_GET_CHANNEL_STATUS)) {
            check(getChannelStatus(index, channel, &first, &second), unit,
                context + QStringLiteral(" status"));
            entry.insert(QStringLiteral("first"), first);
            entry.insert(QStringLiteral("second"), second);
        }
        double current = 0;
        if (unit.supports(KAVRA_OPERATION_GET_CHANNEL_CURRENT)) {
            check(getChannelCurrent(index, channel, &current), unit,
                context + QStringLiteral(" current"));
            entry.insert(QStringLiteral("current"), current);
        }
        if (!entry.isEmpty()) {
            entry.insert(QStringLiteral("channel"), channel);
            channels.append(entry);
        }
    }
    if (!channels.isEmpty())
        result.insert(QStringLiteral("channels"), channels);

    double adc = 0;
    if (unit.supports(KAVRA_OPERATION_GET_ADC_VALUE)) {
        check(getADCValue(index, &adc), unit, QStringLiteral("converter value"));
        result.insert(QStringLiteral("adc"), adc);
    }
    return result;
}

QJsonArray StatusReader::readAll(const QList<UnitIdentity>& units, int* failures)
{
    QJsonArray result;
    for (const UnitIdentity& unit : units) {
        try {
            result.append(read(unit));
        } catch (const ToolError& error) {
            QJsonObject failed = unit.toJson();
            // The status, its meaning and the unit's last error text.
            failed.insert(QStringLiteral("error"), error.details());
            result.append(failed);
            if (failures)
                ++*failures;
        }
    }
    return result;
}
