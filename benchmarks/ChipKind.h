#pragma once

#include <QString>
#include <QVector>

// One chip type of the bench with the unit model the benchmarks put behind it.
struct ChipKind
{
    QString chip; // the bench's chip name (docs/bench.md)
    QString unit; // family and model, for the table
    QString serialStem; // "QZAH" + product (3 digits) + revision (2 digits): the model

    // A 13-character serial number of this model; number tells units of one bench apart.
    QString serial(int number) const;
    QString label() const { return chip + QStringLiteral(" (") + unit + QLatin1Char(')'); }

    // FT232R, FT2232H, FT232H and FT-X, each with a unit that has the steady calls.
    static const QVector<ChipKind>& all();
};
