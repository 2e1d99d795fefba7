#include "ChipKind.h"

QString ChipKind::serial(int number) const
{
    return serialStem + QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
}

const QVector<ChipKind>& ChipKind::all()
{
    static const QVector<ChipKind> kinds{
        {QStringLiteral("FT232R"), QStringLiteral("Alder 15/1"), QStringLiteral("QZAH01501")},
        {QStringLiteral("FT2232H"), QStringLiteral("Cedar 17/1"), QStringLiteral("QZAH01701")},
        {QStringLiteral("FT232H"), QStringLiteral("Generic 19/1"), QStringLiteral("QZAH01901")},
        {QStringLiteral("FT-X"), QStringLiteral("Generic 25/1"), QStringLiteral("QZAH02501")},
    };
    return kinds;
}
