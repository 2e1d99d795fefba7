#include "UnitIdentity.h"

#include "ToolError.h"

#include <KavraLib.h>

#include <array>

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
    const int status = getDeviceSerialNumber(index, buffer.data(), int(buffer.size()));
    if (status != 0)
        throw ToolError::status(status, QStringLiteral("unit %1").arg(index));
    return UnitIdentity(index, QString::fromLatin1(buffer.data()));
}

QString UnitIdentity::model() const
{
    if (m_product < 0)
        return QStringLiteral("?");
    return QStringLiteral("%1/%2").arg(m_product).arg(m_revision);
}

QString UnitIdentity::family() const
{
    if (m_revision == 1) {
        switch (m_product) {
        case 15: return QStringLiteral("Alder");
        case 17: return QStringLiteral("Cedar");
        case 19:
        case 25: return QStringLiteral("Generic");
        case 40: return QStringLiteral("Birch");
        case 41: return QStringLiteral("Rowan");
        default: break;
        }
    }
    return QStringLiteral("none");
}

int UnitIdentity::channelCount() const
{
    return family() == QLatin1String("Cedar") ? 3 : 1;
}

QString UnitIdentity::label() const
{
    return QStringLiteral("unit %1 (%2, %3 %4)").arg(m_index).arg(m_serial, family(), model());
}

QJsonObject UnitIdentity::toJson() const
{
    QJsonObject object{{QStringLiteral("index"), m_index},
                       {QStringLiteral("serial"), m_serial},
                       {QStringLiteral("model"), model()},
                       {QStringLiteral("family"), family()}};
    if (m_product >= 0) {
        object.insert(QStringLiteral("product"), m_product);
        object.insert(QStringLiteral("revision"), m_revision);
    }
    return object;
}
