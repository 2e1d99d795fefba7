#include "BenchFile.h"

#include <QJsonDocument>
#include <QJsonObject>

QString BenchFile::add(const ChipKind& kind, int number)
{
    const QString serial = kind.serial(number);
    m_units.append(
        QJsonObject{{QStringLiteral("chip"), kind.chip}, {QStringLiteral("serial"), serial}});
    return serial;
}

QByteArray BenchFile::json() const
{
    return QJsonDocument(
        QJsonObject{{QStringLiteral("timing"), QLatin1String(timingName(m_timing))},
            {QStringLiteral("units"), m_units}})
        .toJson(QJsonDocument::Compact);
}

const char* BenchFile::timingName(Timing timing)
{
    return timing == Timing::Realistic ? "realistic" : "instant";
}
