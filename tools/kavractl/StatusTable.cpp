#include "StatusTable.h"

#include <QJsonObject>

#include <algorithm>

QString StatusTable::columns(const QList<QStringList>& rows)
{
    QVector<int> widths;
    for (const QStringList& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (int i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    QStringList lines;
    for (const QStringList& row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += (i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i]);
        // Right-trimmed only: continuation rows start with empty cells.
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QString StatusTable::listing(const QList<UnitIdentity>& units)
{
    if (units.isEmpty())
        return QStringLiteral("no units attached");
    QList<QStringList> rows{{QStringLiteral("INDEX"), QStringLiteral("SERIAL"),
        QStringLiteral("MODEL"), QStringLiteral("FAMILY")}};
    for (const UnitIdentity& unit : units)
        rows.append({QString::number(unit.index()), unit.serial(), unit.model(), unit.family()});
    return columns(rows);
}

QString StatusTable::render(const QJsonArray& statuses)
{
    if (statuses.isEmpty())
        return QStringLiteral("no units attached");
    const QString none = QStringLiteral("-");
    QList<QStringList> rows{{QStringLiteral("UNIT"), QStringLiteral("SERIAL"),
        QStringLiteral("FAMILY"), QStringLiteral("CH"), QStringLiteral("FLAGS"),
        QStringLiteral("CURRENT/µA"), QStringLiteral("ADC"), QStringLiteral("SUPPLY")}};
    bool flagsShown = false;
    for (const QJsonValue& value : statuses) {
        const QJsonObject unit = value.toObject();
        QString supply = none;
        const QJsonObject error = unit[QStringLiteral("error")].toObject();
        if (!error.isEmpty()) {
            // The unit's last error text after its "<operation> on <serial>: " says what happened.
            const QString detail = error[QStringLiteral("detail")].toString();
            supply = QStringLiteral("failed: error %1: %2")
                         .arg(error[QStringLiteral("status")].toInt())
                         .arg(detail.isEmpty() ? error[QStringLiteral("meaning")].toString()
                                               : detail.section(QStringLiteral(": "), 1));
        } else if (unit.contains(QStringLiteral("supply"))) {
            const QJsonObject status = unit[QStringLiteral("supply")].toObject();
            supply = status[QStringLiteral("error")].toBool() ? QStringLiteral("ERROR")
                                                              : QStringLiteral("ok");
            const QString text = status[QStringLiteral("text")].toString();
            if (!text.isEmpty())
                supply += QStringLiteral(" \"%1\"").arg(text);
        }
        const QString adc = unit.contains(QStringLiteral("adc"))
            ? QString::number(unit[QStringLiteral("adc")].toDouble())
            : none;
        const QStringList head{QString::number(unit[QStringLiteral("index")].toInt()),
            unit[QStringLiteral("serial")].toString(),
            QStringLiteral("%1 %2").arg(unit[QStringLiteral("family")].toString(),
                unit[QStringLiteral("model")].toString())};
        const QJsonArray channels = unit[QStringLiteral("channels")].toArray();
        if (channels.isEmpty()) {
            rows.append(head + QStringList{none, none, none, adc, supply});
            continue;
        }
        bool first = true;
        for (const QJsonValue& channelValue : channels) {
            const QJsonObject channel = channelValue.toObject();
            QString flags = none;
            flagsShown = flagsShown || channel.contains(QStringLiteral("first"));
            if (channel.contains(QStringLiteral("first")))
                flags = QStringLiteral("%1 %2")
                            .arg(channel[QStringLiteral("first")].toBool() ? 1 : 0)
                            .arg(channel[QStringLiteral("second")].toBool() ? 1 : 0);
            const QString current = channel.contains(QStringLiteral("current"))
                ? QString::number(channel[QStringLiteral("current")].toDouble())
                : none;
            // Unit-wide columns only on the unit's first row.
            rows.append((first ? head : QStringList{QString(), QString(), QString()})
                + QStringList{QString::number(channel[QStringLiteral("channel")].toInt()), flags,
                    current, first ? adc : QString(), first ? supply : QString()});
            first = false;
        }
    }
    if (!flagsShown)
        return columns(rows);
    return columns(rows)
        + QStringLiteral(
            "\nFLAGS (1 set, 0 clear): output on, current limiting; on Cedar output on, "
            "output delivering.");
}
