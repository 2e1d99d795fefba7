#include "DiscoveryBenchmark.h"

#include "BenchControl.h"
#include "BenchFile.h"
#include "ChipKind.h"

#include <KavraLib.h>

#include <QStringList>

#include <chrono>

namespace {
const QString kMeasurement
    = QStringLiteral("getDeviceIndex, last unit, fresh session (instant timing)");
}

void DiscoveryBenchmark::run(ResultTable& table) const
{
    BenchControl& bench = BenchControl::instance();
    const QVector<ChipKind>& kinds = ChipKind::all();
    double oneUnit = 0;
    for (const int count : {1, 4, 16, 32}) {
        closeSession();
        // Every chip type in turn, arranged so that the last unit is always of the first kind:
        // each count then looks up the same kind of unit as the single-unit case.
        BenchFile file(BenchFile::Timing::Instant);
        QStringList serials;
        for (int i = 0; i < count; ++i)
            serials << file.add(kinds.at((count - 1 - i) % kinds.size()), i + 1);
        ResultTable::Row row;
        row.measurement = kMeasurement;
        row.unit = QStringLiteral("N = %1 (last: %2)").arg(count).arg(kinds.front().label());
        row.call = QStringLiteral("getDeviceIndex");
        if (bench.loadBench(file.json()) != 0) {
            row.met = QStringLiteral("failed: the bench refused its description");
            table.add(row);
            continue;
        }
        initialiseSession();

        int index = -1;
        const auto start = std::chrono::steady_clock::now();
        const int status = getDeviceIndex(serials.last().toLatin1().constData(), &index);
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // A unit the call opened has talked on its link.
        int contacted = 0;
        for (const QString& serial : serials)
            contacted += bench.takeWireLog(serial.toLatin1().constData()).isEmpty() ? 0 : 1;
        closeSession();

        row.call += QStringLiteral(": %1 of %2 units talked to").arg(contacted).arg(count);
        if (status != 0 || index != count) {
            row.met = QStringLiteral("failed: status %1, index %2").arg(status).arg(index);
            table.add(row);
            continue;
        }
        if (count == 1)
            oneUnit = seconds;
        row.library = ResultTable::duration(seconds);
        row.ratio = oneUnit > 0 ? ResultTable::ratio(seconds / oneUnit) : QString();
        if (count == kTargetUnits) {
            row.target
                = QStringLiteral("one opening (≤ %1 × N = 1)").arg(kOneOpeningTolerance, 0, 'f', 2);
            row.met = ResultTable::yesNo(
                contacted == 1 && oneUnit > 0 && seconds <= kOneOpeningTolerance * oneUnit);
        }
        table.add(row);
    }
    table.addNote(
        QStringLiteral("getDeviceIndex: one call per N on a freshly loaded bench with instant "
                       "timing, chip types mixed; library = its time; units talked to = units with "
                       "traffic in the wire log (opening identifies a unit over its link); ratio = "
                       "time / time for N = 1"));
}
