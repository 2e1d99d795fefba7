#include "SteadyCallBenchmark.h"

#include "BenchControl.h"
#include "BenchFile.h"
#include "LibraryUnit.h"
#include "Samples.h"
#include "SteadyCall.h"
#include "TwinUnit.h"
#include "WireScript.h"

#include <KavraLib.h>

#include <QSet>

#include <chrono>

namespace {
constexpr int kWarmUpRounds = 10;
const QString kMeasurement = QStringLiteral("steady call");

template <typename Work> double timed(Work work, bool* ok)
{
    const auto start = std::chrono::steady_clock::now();
    *ok = work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The chip, with the channel letter on a chip that lists several, and the unit model.
QString unitLabel(const ChipKind& kind, const QMap<int, QString>& channels, int link)
{
    QString chip = kind.chip;
    if (channels.size() > 1)
        chip += QLatin1Char(' ') + channels.value(link).right(1);
    return chip + QStringLiteral(" (") + kind.unit + QLatin1Char(')');
}

ResultTable::Row failure(const QString& unit, const QString& call, const QString& what)
{
    return ResultTable::failed(kMeasurement, what, unit, call);
}
} // namespace

void SteadyCallBenchmark::run(ResultTable& table) const
{
    closeSession();
    BenchFile file(BenchFile::Timing::Realistic);
    QVector<QPair<QString, QString>> pairs;
    for (const ChipKind& kind : ChipKind::all()) {
        const QString unit = file.add(kind, 1);
        pairs.append(qMakePair(unit, file.add(kind, 2)));
    }
    if (BenchControl::instance().loadBench(file.json()) != 0) {
        table.add(
            failure(QString(), QString(), QStringLiteral("the bench refused its description")));
        return;
    }
    initialiseSession();
    for (int i = 0; i < ChipKind::all().size(); ++i)
        measureChip(ChipKind::all().at(i), pairs.at(i).first, pairs.at(i).second, table);
    closeSession();
    table.addNote(QStringLiteral(
        "steady call: %1 samples of each side, library and raw in turn, bench timing "
        "\"realistic\"; library, raw = median time per call; raw = FT_Write of the "
        "bytes the call wrote (wire log; sizes in brackets), then a blocking FT_Read of "
        "its reply length, on a twin unit configured with the library's own "
        "configuration calls; ratio = library median / raw median")
                      .arg(m_samples));
}

void SteadyCallBenchmark::measureChip(const ChipKind& kind, const QString& unitSerial,
    const QString& twinSerial, ResultTable& table) const
{
    LibraryUnit unit(unitSerial);
    const int opened = unit.open();
    if (opened != 0) {
        table.add(
            failure(kind.label(), QString(), QStringLiteral("opening returned %1").arg(opened)));
        return;
    }
    TwinUnit twin(twinSerial);
    QSet<int> linksUsed;
    for (const SteadyCall& call : SteadyCall::all()) {
        int status = call.call(unit.index());
        if (status == SteadyCall::FamilyLacksOperation)
            continue;
        const WireScript script = status == 0 ? unit.capture(call, &status) : WireScript();
        const int link = script.isEmpty() ? 0 : script.steps().front().link;
        const QString label = unitLabel(kind, unit.channels(), link);
        if (script.isEmpty()) {
            table.add(failure(label, call.name,
                status != 0 ? QStringLiteral("status %1").arg(status)
                            : QStringLiteral("nothing on the wire")));
            continue;
        }
        linksUsed += script.links();
        if (!unit.prepareTwin(twin, script) || !twin.exchange(script)) {
            table.add(failure(label, call.name, twin.error()));
            continue;
        }

        Samples library;
        Samples raw;
        library.reserve(m_samples);
        raw.reserve(m_samples);
        QString error;
        const auto libraryCall = [&] {
            const int result = call.call(unit.index());
            if (result != 0)
                error = QStringLiteral("status %1").arg(result);
            return result == 0;
        };
        const auto rawExchange = [&] {
            if (twin.exchange(script))
                return true;
            error = twin.error();
            return false;
        };
        // In turn, each side first every other round, so that neither always follows the other.
        for (int round = 0; round < kWarmUpRounds + m_samples && error.isEmpty(); ++round) {
            bool ok = true;
            double libraryTime = 0;
            double rawTime = 0;
            if (round % 2 == 0) {
                libraryTime = timed(libraryCall, &ok);
                rawTime = ok ? timed(rawExchange, &ok) : 0;
            } else {
                rawTime = timed(rawExchange, &ok);
                libraryTime = ok ? timed(libraryCall, &ok) : 0;
            }
            if (ok && round >= kWarmUpRounds) {
                library.add(libraryTime);
                raw.add(rawTime);
            }
        }
        unit.clearRecords();
        twin.clearRecords();
        if (!error.isEmpty()) {
            table.add(failure(label, call.name, error));
            continue;
        }
        const double ratio = library.median() / raw.median();
        table.add({kMeasurement, label,
            call.name + QStringLiteral(" (") + script.summary() + QLatin1Char(')'),
            ResultTable::duration(library.median()),
            ResultTable::duration(library.percentile(0.99)), ResultTable::duration(raw.median()),
            ResultTable::duration(raw.percentile(0.99)), ResultTable::ratio(ratio), QString(),
            QString(), QStringLiteral("≤ %1").arg(kTargetRatio, 0, 'f', 2),
            ResultTable::yesNo(ratio <= kTargetRatio)});
    }
    // A channel no steady call travels on (the stream link of an FT2232H) gets a row that says so.
    const QMap<int, QString>& channels = unit.channels();
    for (auto channel = channels.cbegin(); channels.size() > 1 && channel != channels.cend();
         ++channel) {
        if (linksUsed.contains(channel.key()))
            continue;
        ResultTable::Row row;
        row.measurement = kMeasurement;
        row.unit = unitLabel(kind, channels, channel.key());
        row.call = QStringLiteral("none: no steady call travels on link %1").arg(channel.key());
        table.add(row);
    }
}
