#pragma once

#include "ResultTable.h"

#include <QMap>
#include <QString>

#include <functional>

// Instructions and heap allocations per steady call. The program runs itself under valgrind,
// where it makes a number of each steady call on each chip type of the instant bench and then as
// many raw exchanges of the same bytes, each batch in a callgrind dump of its own; it makes the
// same batches itself with its allocation counter on.
class InstructionBenchmark
{
public:
    explicit InstructionBenchmark(int calls) : m_calls(calls) { }

    void run(ResultTable& table) const;
    // The part that runs under callgrind. Returns the process exit code.
    int runMeasured() const;

    static constexpr const char* kMeasuredOption = "--instructions-measured";

private:
    // Opens a unit and its twin per chip type and runs the batches of every steady call, each
    // between begin() and end(label). Returns false when a call or exchange failed.
    bool runBatches(const std::function<void()>& begin,
        const std::function<void(const QString& label)>& end) const;
    // Instructions of each dump in the directory, by the label the program gave it.
    static QMap<QString, double> readDumps(const QString& directory);
    static QString label(const QString& side, const QString& chip, const QString& call)
    {
        return side + QLatin1Char(' ') + chip + QLatin1Char(' ') + call;
    }

    int m_calls;
};
