#pragma once

#include "ChipKind.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>

// A bench description (docs/bench.md) put together unit by unit, for kavrasim_load_bench.
class BenchFile
{
public:
    enum class Timing { Instant, Realistic };

    explicit BenchFile(Timing timing) : m_timing(timing) { }

    // Adds a unit of the kind; returns its serial number.
    QString add(const ChipKind& kind, int number);
    QByteArray json() const;

    static const char* timingName(Timing timing);

private:
    Timing m_timing;
    QJsonArray m_units;
};
