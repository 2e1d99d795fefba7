#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The one table the benchmark prints, in markdown, with the notes that explain its columns.
class ResultTable
{
public:
    struct Row
    {
        QString measurement;
        QString unit;
        QString call;
        QString library;
        QString libraryP99;
        QString raw;
        QString rawP99;
        QString ratio;
        // Instructions per call relative to the raw exchange's, and heap allocations per call.
        QString instructionRatio;
        QString allocations;
        QString target;
        QString met;
    };

    // Also reports the row on standard error at once, as progress.
    void add(const Row& row);
    void addNote(const QString& note) { m_notes << note; }
    QString markdown() const;

    // A row that says the measurement could not be made, and why.
    static Row failed(const QString& measurement, const QString& why,
        const QString& unit = QString(), const QString& call = QString());

    static QString duration(double seconds);
    static QString ratio(double value);
    static QString rate(double callsPerSecond);
    static QString yesNo(bool met) { return met ? QStringLiteral("yes") : QStringLiteral("no"); }

private:
    QVector<Row> m_rows;
    QStringList m_notes;
};
