#include "InstructionBenchmark.h"

#include "AllocationCounter.h"
#include "BenchControl.h"
#include "BenchFile.h"
#include "ChipKind.h"
#include "LibraryUnit.h"
#include "SteadyCall.h"
#include "TwinUnit.h"

#include <KavraLib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <valgrind/callgrind.h>

#include <memory>
#include <vector>

namespace {
const QString kMeasurement = QStringLiteral("instructions per call (callgrind, instant timing)");
const QString kLibrary = QStringLiteral("library");
const QString kRaw = QStringLiteral("raw");
constexpr int kWarmUpCalls = 10;
constexpr int kValgrindTimeoutMs = 20 * 60 * 1000;
// The library's own work per steady call: instructions against the raw exchange's, and its own
// heap allocations.
constexpr double kInstructionTarget = 2;
constexpr int kAllocationTarget = 8;

ResultTable::Row failure(
    const QString& what, const QString& unit = QString(), const QString& call = QString())
{
    return ResultTable::failed(kMeasurement, what, unit, call);
}
} // namespace

void InstructionBenchmark::run(ResultTable& table) const
{
    // Allocations first, in this process: the counter sees every thread, the bench's included.
    QMap<QString, double> allocations;
    const bool counted = runBatches(AllocationCounter::start, [&](const QString& label) {
        allocations.insert(label, double(AllocationCounter::stop()) / m_calls);
    });
    closeSession();
    initialiseSession();

    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    QTemporaryDir directory;
    if (valgrind.isEmpty() || !directory.isValid() || !counted) {
        table.add(failure(valgrind.isEmpty()
                ? QStringLiteral("valgrind not found (scripts/setup installs it)")
                : !counted ? QStringLiteral("a call failed while allocations were counted")
                           : QStringLiteral("no temporary directory")));
        return;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(valgrind,
        {QStringLiteral("-q"), QStringLiteral("--tool=callgrind"),
            QStringLiteral("--instr-atstart=no"),
            QStringLiteral("--callgrind-out-file=")
                + directory.filePath(QStringLiteral("callgrind.out")),
            QCoreApplication::applicationFilePath(), QLatin1String(kMeasuredOption),
            QString::number(m_calls)});
    if (!process.waitForFinished(kValgrindTimeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        table.add(failure(QStringLiteral("the run under callgrind failed: %1")
                              .arg(QString::fromLocal8Bit(process.readAll()))));
        return;
    }
    const QMap<QString, double> instructions = readDumps(directory.path());
    for (const ChipKind& kind : ChipKind::all()) {
        for (const SteadyCall& call : SteadyCall::all()) {
            const QString libraryLabel = label(kLibrary, kind.chip, call.name);
            const QString rawLabel = label(kRaw, kind.chip, call.name);
            // A call the family lacks has no batch.
            if (!allocations.contains(libraryLabel))
                continue;
            const double library = instructions.value(libraryLabel, -1) / m_calls;
            const double raw = instructions.value(rawLabel, -1) / m_calls;
            if (library < 0 || raw < 0) {
                table.add(failure(QStringLiteral("no dump"), kind.label(), call.name));
                continue;
            }
            const double libraryAllocations = allocations.value(libraryLabel);
            const double rawAllocations = allocations.value(rawLabel);
            const double own = libraryAllocations - rawAllocations;
            ResultTable::Row row;
            row.measurement = kMeasurement;
            row.unit = kind.label();
            row.call = call.name;
            row.library = QString::number(library, 'f', 0);
            row.raw = QString::number(raw, 'f', 0);
            row.instructionRatio = ResultTable::ratio(library / raw);
            row.allocations = QStringLiteral("%1 (call %2, raw %3)")
                                  .arg(own, 0, 'f', 1)
                                  .arg(libraryAllocations, 0, 'f', 1)
                                  .arg(rawAllocations, 0, 'f', 1);
            row.target = QStringLiteral("≤ %1 × raw, ≤ %2 allocations")
                             .arg(kInstructionTarget, 0, 'f', 0)
                             .arg(kAllocationTarget);
            row.met = ResultTable::yesNo(
                library <= kInstructionTarget * raw && own <= kAllocationTarget);
            table.add(row);
        }
    }
    table.addNote(
        QStringLiteral("instructions: %1 of each steady call, then %1 raw exchanges of the same "
                       "bytes, per chip type under valgrind --tool=callgrind with instant timing; "
                       "library, raw = instructions per call of every thread, the bench's own work "
                       "included (most of the raw figure); instructions × raw = library / raw; "
                       "allocations per call = heap allocations of the process per call, the "
                       "same batches counted without valgrind: the call's less the raw "
                       "exchange's, which are the bench's")
            .arg(m_calls));
}

int InstructionBenchmark::runMeasured() const
{
    CALLGRIND_START_INSTRUMENTATION;
    const bool ok = runBatches([] { CALLGRIND_ZERO_STATS; },
        [](const QString& label) { CALLGRIND_DUMP_STATS_AT(label.toLatin1().constData()); });
    CALLGRIND_STOP_INSTRUMENTATION;
    closeSession();
    return ok ? 0 : 1;
}

bool InstructionBenchmark::runBatches(
    const std::function<void()>& begin, const std::function<void(const QString&)>& end) const
{
    closeSession();
    BenchFile file(BenchFile::Timing::Instant);
    QVector<QPair<QString, QString>> pairs;
    for (const ChipKind& kind : ChipKind::all()) {
        const QString unit = file.add(kind, 1);
        pairs.append(qMakePair(unit, file.add(kind, 2)));
    }
    if (BenchControl::instance().loadBench(file.json()) != 0)
        return false;
    initialiseSession();

    bool ok = true;
    for (int u = 0; u < pairs.size() && ok; ++u) {
        const QString chip = ChipKind::all().at(u).chip;
        LibraryUnit unit(pairs.at(u).first);
        TwinUnit twin(pairs.at(u).second);
        if (unit.open() != 0)
            return false;
        for (const SteadyCall& call : SteadyCall::all()) {
            int status = call.call(unit.index());
            if (status == SteadyCall::FamilyLacksOperation)
                continue;
            const WireScript script = status == 0 ? unit.capture(call, &status) : WireScript();
            if (script.isEmpty() || !unit.prepareTwin(twin, script))
                return false;
            for (int i = 0; i < kWarmUpCalls; ++i) {
                if (call.call(unit.index()) != 0 || !twin.exchange(script))
                    return false;
            }
            unit.clearRecords();
            twin.clearRecords();
            begin();
            for (int i = 0; i < m_calls; ++i)
                ok = call.call(unit.index()) == 0 && ok;
            end(label(kLibrary, chip, call.name));
            begin();
            for (int i = 0; i < m_calls; ++i)
                ok = twin.exchange(script) && ok;
            end(label(kRaw, chip, call.name));
        }
    }
    return ok;
}

QMap<QString, double> InstructionBenchmark::readDumps(const QString& directory)
{
    // A dump names its trigger on a "desc: Trigger: Client Request: <label>" line and gives the
    // instructions it counted on its "summary:" line (events: Ir, the only event collected).
    const QLatin1String trigger("desc: Trigger: Client Request: ");
    const QLatin1String summary("summary: ");
    QMap<QString, double> instructions;
    const QDir dir(directory);
    for (const QString& name : dir.entryList({QStringLiteral("callgrind.out*")}, QDir::Files)) {
        QFile dump(dir.filePath(name));
        if (!dump.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QString label;
        double count = -1;
        while (!dump.atEnd()) {
            const QString line = QString::fromLatin1(dump.readLine()).trimmed();
            if (line.startsWith(trigger))
                label = line.mid(trigger.size());
            else if (line.startsWith(summary))
                count = line.mid(summary.size()).toDouble();
        }
        if (!label.isEmpty() && count >= 0)
            instructions.insert(label, count);
    }
    return instructions;
}
