#include "ScpiParameters.h"

#include "ScpiError.h"

#include <QHash>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

double scaleOf(ScpiParameters::Unit unit, const QString& suffix)
{
    using Unit = ScpiParameters::Unit;
    // SCPI reads M as milli; the one exception is MHZ.
    static const QHash<QString, double> volt = {{"V", 1}, {"KV", 1e3}, {"MV", 1e-3}, {"UV", 1e-6}};
    static const QHash<QString, double> ampere
        = {{"A", 1}, {"MA", 1e-3}, {"UA", 1e-6}, {"NA", 1e-9}};
    static const QHash<QString, double> hertz = {{"HZ", 1}, {"KHZ", 1e3}, {"MHZ", 1e6}};
    static const QHash<QString, double> second = {{"S", 1}, {"MS", 1e-3}};
    static const QHash<QString, double> percent = {{"PCT", 1}};
    static const QHash<QString, double> none;
    const QHash<QString, double>* table = &none;
    switch (unit) {
    case Unit::Volt:
        table = &volt;
        break;
    case Unit::Ampere:
        table = &ampere;
        break;
    case Unit::Hertz:
        table = &hertz;
        break;
    case Unit::Second:
        table = &second;
        break;
    case Unit::Percent:
        table = &percent;
        break;
    case Unit::None:
        break;
    }
    const auto found = table->constFind(suffix.toUpper());
    if (found == table->constEnd())
        throw ScpiError(ScpiError::InvalidSuffix, suffix);
    return found.value();
}

const QStringList& boundWords()
{
    static const QStringList words
        = {QStringLiteral("MINimum"), QStringLiteral("MAXimum"), QStringLiteral("DEFault")};
    return words;
}

bool isBound(const QString& value)
{
    for (const QString& word : boundWords()) {
        if (value.compare(word, Qt::CaseInsensitive) == 0
            || value.compare(word.left(3), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

ScpiParameters::ScpiParameters(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return;
    for (const QString& value : trimmed.split(QLatin1Char(',')))
        m_values.append(value.trimmed());
}

void ScpiParameters::expect(int expected) const
{
    if (m_values.size() < expected)
        throw ScpiError(ScpiError::MissingParameter);
    if (m_values.size() > expected)
        throw ScpiError(ScpiError::ParameterNotAllowed);
}

double ScpiParameters::number(int position, Unit unit) const
{
    static const QRegularExpression pattern(
        QStringLiteral("^([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)\\s*([A-Za-z]*)$"));
    const QString& value = m_values.at(position);
    const QRegularExpressionMatch match = pattern.match(value);
    if (value.isEmpty() || !match.hasMatch())
        throw ScpiError(ScpiError::DataTypeError, value.left(40));
    const QString suffix = match.captured(2);
    const double scale = suffix.isEmpty() ? 1.0 : scaleOf(unit, suffix);
    const double result = match.captured(1).toDouble() * scale;
    // Digits alone can still overflow a double ("1e999").
    if (!std::isfinite(result))
        throw ScpiError(ScpiError::DataOutOfRange);
    return result;
}

double ScpiParameters::number(int position, Unit unit, const Bounds& bounds) const
{
    const QString& value = m_values.at(position);
    const bool word = !value.isEmpty() && value.at(0).isLetter();
    // A word that names no bound reads as a bad number, as it does without bounds.
    return word && isBound(value) ? bound(position, bounds) : number(position, unit);
}

double ScpiParameters::bound(int position, const Bounds& bounds) const
{
    const QString& value = m_values.at(position);
    if (!isBound(value))
        throw ScpiError(ScpiError::IllegalParameterValue, value.left(40));
    switch (choice(position, boundWords())) {
    case 0:
        return bounds.minimum;
    case 1:
        return bounds.maximum;
    default:
        return bounds.byDefault;
    }
}

int ScpiParameters::integer(int position, Unit unit) const
{
    const double rounded = std::round(number(position, unit));
    if (!(rounded >= std::numeric_limits<int>::min() && rounded <= std::numeric_limits<int>::max()))
        throw ScpiError(ScpiError::DataOutOfRange);
    return int(rounded);
}

bool ScpiParameters::boolean(int position) const
{
    const QString value = m_values.at(position).toUpper();
    if (value == QLatin1String("ON"))
        return true;
    if (value == QLatin1String("OFF"))
        return false;
    try {
        return std::round(number(position)) != 0;
    } catch (const ScpiError&) {
        throw ScpiError(ScpiError::IllegalParameterValue, m_values.at(position).left(40));
    }
}

int ScpiParameters::choice(int position, const QStringList& mnemonics) const
{
    const QString value = m_values.at(position);
    for (int i = 0; i < mnemonics.size(); ++i) {
        QString shortForm;
        for (const QChar c : mnemonics.at(i)) {
            if (c.isUpper())
                shortForm.append(c);
        }
        if (value.compare(shortForm, Qt::CaseInsensitive) == 0
            || value.compare(mnemonics.at(i), Qt::CaseInsensitive) == 0)
            return i;
    }
    bool isNumber = false;
    const int number = value.toInt(&isNumber);
    if (isNumber && number >= 0 && number < mnemonics.size())
        return number;
    if (isNumber)
        throw ScpiError(ScpiError::DataOutOfRange, value);
    throw ScpiError(ScpiError::IllegalParameterValue, value.left(40));
}
