#ifndef KAVRAD_SCPIPARAMETERS_H
#define KAVRAD_SCPIPARAMETERS_H

#include <QString>
#include <QStringList>

// The parameters of one command (the text after its header, split at commas) and their
// reading as SCPI data. Every reader throws the ScpiError that a bad parameter deserves.
class ScpiParameters
{
public:
    // The unit a numeric parameter may carry as a suffix, with an SI prefix: "10 KV", "100UA".
    enum class Unit { None, Volt, Ampere, Hertz, Second, Percent };

    explicit ScpiParameters(const QString& text);

    int count() const { return m_values.size(); }
    // Throws "Missing parameter" or "Parameter not allowed" unless there are exactly `expected`.
    void expect(int expected) const;

    // The values that MINimum, MAXimum and DEFault stand for.
    struct Bounds
    {
        double minimum;
        double maximum;
        double byDefault;
    };

    // A decimal number, scaled to the unit; never NaN or infinite.
    double number(int position, Unit unit = Unit::None) const;
    // A number, or one of the bounds by its word.
    double number(int position, Unit unit, const Bounds& bounds) const;
    // The bound a query's parameter names (VOLT? MAX); "Illegal parameter value" for others.
    double bound(int position, const Bounds& bounds) const;
    // A number rounded to a whole one; "Data out of range" beyond 32 bits.
    int integer(int position, Unit unit = Unit::None) const;
    // ON, OFF, or a number (not zero is on).
    bool boolean(int position) const;
    // The position of the parameter among the mnemonics, in short or long form ("POSitive"),
    // or its number among them ("0", "1": "Data out of range" beyond); "Illegal parameter value"
    // otherwise.
    int choice(int position, const QStringList& mnemonics) const;

private:
    QStringList m_values;
};

#endif
