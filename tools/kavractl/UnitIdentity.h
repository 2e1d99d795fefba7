#ifndef KAVRACTL_UNITIDENTITY_H
#define KAVRACTL_UNITIDENTITY_H

#include <QJsonObject>
#include <QString>

// What the serial number tells about a unit without opening it: its model (product and
// revision, characters 5 to 9 of the serial number) and the family that model belongs to.
class UnitIdentity
{
public:
    UnitIdentity(int index, const QString& serial);

    // Reads the serial number of the unit at the device index; throws ToolError on a status.
    static UnitIdentity ofIndex(int index);

    int index() const { return m_index; }
    QString serial() const { return m_serial; }
    int product() const { return m_product; }
    int revision() const { return m_revision; }
    // "product/revision", or "?" when the serial number carries no model.
    QString model() const;
    // Alder, Birch, Cedar, Generic, Rowan, or "none" for a model without a family.
    QString family() const;
    // Channels whose status can be read: outputs 1 to 3 on Cedar, output 1 elsewhere.
    int channelCount() const;
    // A line like "unit 3 (QZAH019010003, Generic 19/1)" for messages.
    QString label() const;

    QJsonObject toJson() const;

private:
    int m_index;
    QString m_serial;
    int m_product = -1;
    int m_revision = -1;
};

#endif
