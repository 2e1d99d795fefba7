#include "ResultTable.h"

#include <cstdio>

namespace {
QStringList cells(const ResultTable::Row& row)
{
    return {row.measurement, row.unit, row.call, row.library, row.libraryP99, row.raw, row.rawP99,
        row.ratio, row.instructionRatio, row.allocations, row.target, row.met};
}

QString line(const QStringList& cells)
{
    return QStringLiteral("| ") + cells.join(QStringLiteral(" | ")) + QStringLiteral(" |\n");
}
} // namespace

void ResultTable::add(const Row& row)
{
    m_rows.append(row);
    QStringList shown = cells(row);
    shown.removeAll(QString());
    std::fprintf(stderr, "  %s\n", qPrintable(shown.join(QStringLiteral("  "))));
}

QString ResultTable::markdown() const
{
    QString text = line({QStringLiteral("measurement"), QStringLiteral("unit"),
        QStringLiteral("call"), QStringLiteral("library"), QStringLiteral("library p99"),
        QStringLiteral("raw"), QStringLiteral("raw p99"), QStringLiteral("ratio"),
        QStringLiteral("instructions × raw"), QStringLiteral("allocations per call"),
        QStringLiteral("target"), QStringLiteral("met")});
    QStringList rule;
    for (int column = 0; column < 12; ++column)
        rule << QStringLiteral("---");
    text += line(rule);
    for (const Row& row : m_rows)
        text += line(cells(row));
    if (!m_notes.isEmpty())
        text += QLatin1Char('\n');
    for (const QString& note : m_notes)
        text += QStringLiteral("- ") + note + QLatin1Char('\n');
    return text;
}

QString ResultTable::duration(double seconds)
{
    if (seconds >= 1)
        return QStringLiteral("%1 s").arg(seconds, 0, 'f', 2);
    if (seconds >= 1e-3)
        return QStringLiteral("%1 ms").arg(seconds * 1e3, 0, 'f', 3);
    return QStringLiteral("%1 µs").arg(seconds * 1e6, 0, 'f', 1);
}

QString ResultTable::ratio(double value)
{
    return QStringLiteral("%1").arg(value, 0, 'f', 2);
}

QString ResultTable::rate(double callsPerSecond)
{
    return QStringLiteral("%1 calls/s").arg(callsPerSecond, 0, 'f', 0);
}

ResultTable::Row ResultTable::failed(
    const QString& measurement, const QString& why, const QString& unit, const QString& call)
{
    Row row;
    row.measurement = measurement;
    row.unit = unit;
    row.call = call;
    row.met = QStringLiteral("failed: ") + why;
    return row;
}
