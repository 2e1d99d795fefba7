#ifndef KAVRA_TOOLS_UNITIDENTITY_H
#define KAVRA_TOOLS_UNITIDENTITY_H

#include <QJsonObject>
#include <QString>

// What the library tells about a unit without opening it: its serial number, the model in it
// (product and revision, characters 5 to 9), and from the library's table of models its family,
// outputs, PWM outputs, largest current limit and operations.
class UnitIdentity
{
public:
    // Asks the library about the unit the device index names, attached or away (no listing once
    // the index is numbered); throws ToolError on a status.
    static UnitIdentity ofIndex(int index);

    int index() const { return m_index; }
    QString serial() const { return m_serial; }
    int product() const { return m_product; }
    int revision() const { return m_revision; }
    // "product/revision", or "?" when the serial number carries no model.
    QString model() const;
    // Alder, Birch, Cedar, Generic, Rowan, or "none" for a model without a family.
    QString family() const { return m_family; }
    // Outputs, numbered from 1, that the channel parameters accept.
    int channelCount() const { return m_channelCount; }
    // PWM outputs, numbered from 1, that the PWM channel parameters accept.
    int pwmChannelCount() const { return m_pwmChannelCount; }
    // The largest current limit of a voltage setting in microamps; 0 where it takes none.
    double highestCurrent() const { return m_highestCurrent; }
    // The largest voltage a setting of the unit accepts, in volts (Cedar: at its highest bus level).
    double highestVoltage() const { return m_highestVoltage; }
    // Whether the unit supports the unit function of the KAVRA_OPERATION_* bit.
    bool supports(unsigned operation) const { return (m_operations & operation) != 0; }
    // A line like "unit 3 (QZAH019010003, Generic 19/1)" for messages.
    QString label() const;

    QJsonObject toJson() const;

private:
    UnitIdentity(int index, const QString& serial);

    int m_index;
    QString m_serial;
    int m_product = -1;
    int m_revision = -1;
    QString m_family;
    int m_channelCount = 0;
    int m_pwmChannelCount = 0;
    double m_highestCurrent = 0.0;
    double m_highestVoltage = 0.0;
    unsigned m_operations = 0;
};

#endif
