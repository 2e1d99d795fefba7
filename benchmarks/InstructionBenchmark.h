#pragma once

#include "ResultTable.h"

#include <QMap>
#include <QString>

// Instructions per steady call, counted by callgrind: the program runs itself under valgrind,
// where it makes a number of calls on each chip type of the instant bench and then as many raw
// exchanges of the same bytes, each batch in a dump of its own.
class InstructionBenchmark
{
public:
    explicit InstructionBenchmark(int calls) : m_calls(calls) { }

    void run(ResultTable& table) const;
    // The part that runs under callgrind. Returns the process exit code.
    int runMeasured() const;

    static constexpr const char* kMeasuredOption = "--instructions-measured";

private:
    // Instructions of each dump in the directory, by the label the program gave it.
    static QMap<QString, double> readDumps(const QString& directory);
    static QString label(const QString& side, const QString& chip)
    {
        return side + QLatin1Char(' ') + chip;
    }

    int m_calls;
};
