#include "VendorBenchmark.h"

#include "BenchFile.h"
#include "ChipKind.h"
#include "Samples.h"
#include "SteadyCall.h"

#include <KavraLib.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryFile>

#include <chrono>
#include <cstdio>

namespace {
constexpr int kWarmUpCalls = 10;
constexpr int kOpenings = 3;
const QString kMeasurement
    = QStringLiteral("libkavra_ftdi.so against FTDI's library (USB-level bench, instant timing)");
const QString kOpening = QStringLiteral("opening: first getSupplyStatus");

double seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

QJsonArray figures(const Samples& samples)
{
    return QJsonArray{samples.median(), samples.percentile(0.99)};
}
} // namespace

int VendorBenchmark::runMeasured() const
{
    QJsonObject results;
    for (const ChipKind& kind : ChipKind::all()) {
        const QString serial = kind.serial(1);
        Samples opening;
        int index = -1;
        for (int round = 0; round < kOpenings; ++round) {
            closeSession();
            initialiseSession();
            index = SteadyCall::indexOf(serial);
            const auto start = std::chrono::steady_clock::now();
            if (index < 0 || SteadyCall::supplyStatus().call(index) != 0)
                break;
            opening.add(seconds(start));
        }
        if (opening.count() < kOpenings)
            continue;
        results.insert(kind.label() + QLatin1Char('|') + kOpening, figures(opening));
        for (const SteadyCall& call : SteadyCall::all()) {
            Samples samples;
            bool ok = true;
            for (int i = 0; i < kWarmUpCalls + m_samples && ok; ++i) {
                const auto start = std::chrono::steady_clock::now();
                ok = call.call(index) == 0;
                if (i >= kWarmUpCalls)
                    samples.add(seconds(start));
            }
            if (ok)
                results.insert(kind.label() + QLatin1Char('|') + call.name, figures(samples));
        }
    }
    closeSession();
    std::printf("%s\n", QJsonDocument(results).toJson(QJsonDocument::Compact).constData());
    return 0;
}

void VendorBenchmark::run(ResultTable& table) const
{
    const QString libraries[2]
        = {QStringLiteral(KAVRA_FTDI_PATH), QStringLiteral(KAVRA_VENDOR_D2XX_PATH)};
    for (const QString& path : {QStringLiteral(KAVRA_USBBENCH_PATH), libraries[0], libraries[1]}) {
        if (path.isEmpty() || !QFileInfo::exists(path)) {
            table.add(ResultTable::failed(kMeasurement,
                QStringLiteral("not built or not there: %1 (scripts/setup, umockdev, libftdi1)")
                    .arg(path.isEmpty() ? QStringLiteral("kavra-usbbench or libkavra_ftdi.so")
                                        : path)));
            return;
        }
    }
    BenchFile file(BenchFile::Timing::Instant);
    for (const ChipKind& kind : ChipKind::all())
        file.add(kind, 1);
    QTemporaryFile bench;
    if (!bench.open() || bench.write(file.json()) < 0 || !bench.flush()) {
        table.add(ResultTable::failed(kMeasurement, QStringLiteral("cannot write the bench file")));
        return;
    }
    QJsonObject results[2];
    for (int side = 0; side < 2; ++side) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KAVRA_D2XX_LIBRARY"), libraries[side]);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(KAVRA_USBBENCH_PATH),
            {QStringLiteral("--bench"), bench.fileName(), QStringLiteral("--"),
                QCoreApplication::applicationFilePath(), QLatin1String(kMeasuredOption),
                QString::number(m_samples)});
        process.waitForFinished(-1);
        results[side] = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    }
    for (const ChipKind& kind : ChipKind::all()) {
        QStringList calls{kOpening};
        for (const SteadyCall& call : SteadyCall::all())
            calls.append(call.name);
        for (const QString& call : calls) {
            const QString key = kind.label() + QLatin1Char('|') + call;
            const QJsonArray ours = results[0].value(key).toArray();
            const QJsonArray theirs = results[1].value(key).toArray();
            if (ours.isEmpty() != theirs.isEmpty()) {
                table.add(ResultTable::failed(kMeasurement,
                    QStringLiteral("failed through %1")
                        .arg(ours.isEmpty() ? "libkavra_ftdi.so" : "FTDI's library"),
                    kind.label(), call));
            }
            if (ours.isEmpty() || theirs.isEmpty())
                continue;
            const double ratio = ours.at(0).toDouble() / theirs.at(0).toDouble();
            const double target = call == kOpening ? kOpeningTarget : kSteadyTarget;
            table.add(
                {kMeasurement, kind.label(), call, ResultTable::duration(ours.at(0).toDouble()),
                    ResultTable::duration(ours.at(1).toDouble()),
                    ResultTable::duration(theirs.at(0).toDouble()),
                    ResultTable::duration(theirs.at(1).toDouble()), ResultTable::ratio(ratio),
                    QString(), QString(), QStringLiteral("≤ %1").arg(target, 0, 'f', 2),
                    ResultTable::yesNo(ratio <= target)});
        }
    }
    table.addNote(QStringLiteral(
        "libkavra_ftdi.so against FTDI's library: each in its own process under kavra-usbbench "
        "(instant unit timing, one unit per chip type); library = median through libkavra_ftdi.so, "
        "raw = median through FTDI's library; steady calls %1 each after %2 warm-up calls, opening "
        "= the first getSupplyStatus of a fresh session (600 ms wait of the units included), %3 "
        "times; ratio = library / raw")
                      .arg(m_samples)
                      .arg(kWarmUpCalls)
                      .arg(kOpenings));
}
