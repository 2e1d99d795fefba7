#include "UnitIdentity.h"

#include "ToolError.h"

#include <KavraLib.h>

#include <array>

namespace {

void check(int status, int index)
{
    if (status != 0)
        throw ToolError::status(status, QStringLiteral("unit %1").arg(index), index);
}

} // namespace

UnitIdentity::UnitIdentity(int index, const QString& serial) : m_index(index), m_serial(serial)
{
    bool productOk = false;
    bool revisionOk = false;
    const int product = serial.mid(4, 3).toInt(&productOk);
    const int revision = serial.mid(7, 2).toInt(&revisionOk);
    if (serial.size() >= 9 && productOk && revisionOk) {
        m_product = product;
        m_revision = revision;
    }
}

UnitIdentity UnitIdentity::ofIndex(int index)
{
    std::array<char, 32> buffer{};
    check(getDeviceSerialNumber(index, buffer.data(), int(buffer.size())), index);
    UnitIdentity unit(index, QString::fromLatin1(buffer.data()));
    check(getFamilyName(index, buffer.data(), int(buffer.size())), index);
    unit.m_family = buffer[0] ? QString::fromLatin1(buffer.data()) : QStringLiteral("none");
    check(getChannelCount(index, &unit.m_channelCount), index);
    check(getPwmChannelCount(index, &unit.m_pwmChannelCount), index);
    check(getHighestCurrent(index, &unit.m_highestCurrent), index);
    check(getHighestVoltage(index, &unit.m_highestVoltage), index);
    check(getSupportedOperations(index, &unit.m_operations), index);
    return unit;
}

QString UnitIdentity::model() const
{
    if (m_product < 0)
        return QStringLiteral("?");
    return QStringLiteral("%1/%2").arg(m_product).arg(m_revision);
}

QString UnitIdentity::label() const
{
    return QStringLiteral("unit %1 (%2, %3 %4)").arg(m_index).arg(m_serial, family(), model());
}

QJsonObject UnitIdentity::toJson() const
{
    QJsonObject object{{QStringLiteral("index"), m_index}, {QStringLiteral("serial"), m_serial},
        {QStringLiteral("model"), model()}, {QStringLiteral("family"), family()}};
    if (m_product >= 0) {
        object.insert(QStringLiteral("product"), m_product);
        object.insert(QStringLiteral("revision"), m_revision);
    }
    return object;
}
