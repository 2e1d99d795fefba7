#include "InstructionBenchmark.h"

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

ResultTable::Row failure(const QString& what)
{
    return ResultTable::failed(kMeasurement, what);
}
} // namespace

void InstructionBenchmark::run(ResultTable& table) const
{
    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    QTemporaryDir directory;
    if (valgrind.isEmpty() || !directory.isValid()) {
        table.add(failure(valgrind.isEmpty()
                ? QStringLiteral("valgrind not found (scripts/setup installs it)")
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
        const double library = instructions.value(label(kLibrary, kind.chip), -1) / m_calls;
        const double raw = instructions.value(label(kRaw, kind.chip), -1) / m_calls;
        if (library < 0 || raw < 0) {
            table.add(failure(QStringLiteral("no dump for %1").arg(kind.label())));
            continue;
        }
        ResultTable::Row row;
        row.measurement = kMeasurement;
        row.unit = kind.label();
        row.call = SteadyCall::supplyStatus().name;
        row.library = QString::number(library, 'f', 0);
        row.raw = QString::number(raw, 'f', 0);
        row.ratio = ResultTable::ratio(library / raw);
        table.add(row);
    }
    table.addNote(
        QStringLiteral("instructions: %1 calls, then %1 raw exchanges of the same bytes, per chip "
                       "type under valgrind --tool=callgrind with instant timing; library, raw = "
                       "instructions per call of every thread, the bench's own work included (most "
                       "of the raw figure); ratio = library / raw")
            .arg(m_calls));
}

int InstructionBenchmark::runMeasured() const
{
    closeSession();
    BenchFile file(BenchFile::Timing::Instant);
    QVector<QPair<QString, QString>> pairs;
    for (const ChipKind& kind : ChipKind::all()) {
        const QString unit = file.add(kind, 1);
        pairs.append(qMakePair(unit, file.add(kind, 2)));
    }
    if (BenchControl::instance().loadBench(file.json()) != 0)
        return 1;
    initialiseSession();

    const SteadyCall& call = SteadyCall::supplyStatus();
    std::vector<std::unique_ptr<LibraryUnit>> units;
    std::vector<std::unique_ptr<TwinUnit>> twins;
    std::vector<WireScript> scripts;
    for (const auto& pair : pairs) {
        units.push_back(std::make_unique<LibraryUnit>(pair.first));
        twins.push_back(std::make_unique<TwinUnit>(pair.second));
        int status = units.back()->open();
        scripts.push_back(status == 0 ? units.back()->capture(call, &status) : WireScript());
        if (scripts.back().isEmpty() || !units.back()->prepareTwin(*twins.back(), scripts.back()))
            return 1;
        for (int i = 0; i < kWarmUpCalls; ++i) {
            if (call.call(units.back()->index()) != 0 || !twins.back()->exchange(scripts.back()))
                return 1;
        }
        units.back()->clearRecords();
        twins.back()->clearRecords();
    }

    bool ok = true;
    CALLGRIND_START_INSTRUMENTATION;
    for (std::size_t u = 0; u < units.size(); ++u) {
        const QString chip = ChipKind::all().at(static_cast<int>(u)).chip;
        CALLGRIND_ZERO_STATS;
        for (int i = 0; i < m_calls; ++i)
            ok = call.call(units[u]->index()) == 0 && ok;
        CALLGRIND_DUMP_STATS_AT(label(kLibrary, chip).toLatin1().constData());
        for (int i = 0; i < m_calls; ++i)
            ok = twins[u]->exchange(scripts[u]) && ok;
        CALLGRIND_DUMP_STATS_AT(label(kRaw, chip).toLatin1().constData());
    }
    CALLGRIND_STOP_INSTRUMENTATION;
    twins.clear();
    closeSession();
    return ok ? 0 : 1;
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
