// The virtual bench exports the same D2XX functions as FTDI's own Linux library, so that programs
// written for D2XX (and bindings that resolve every name up front) load it unchanged.
#include "ElfExports.h"

#include <QFileInfo>
#include <QSet>

#include <gtest/gtest.h>

namespace {

QStringList missingFrom(const QStringList& names, const QStringList& from)
{
    const QSet<QString> present(from.begin(), from.end());
    QStringList missing;
    for (const QString& name : names) {
        if (!present.contains(name))
            missing.append(name);
    }
    return missing;
}

TEST(ExportSet, BenchExportsExactlyTheVendorsFunctions)
{
    if (!QFileInfo::exists(QStringLiteral(KAVRA_VENDOR_D2XX_PATH)))
        GTEST_SKIP() << "FTDI's D2XX library is not at " << KAVRA_VENDOR_D2XX_PATH
                     << " (scripts/setup builds it when the npm registry is reachable)";
    QString error;
    const QStringList vendor = ElfExports::functions(
        QStringLiteral(KAVRA_VENDOR_D2XX_PATH), QStringLiteral("FT_"), &error);
    ASSERT_FALSE(vendor.isEmpty()) << error.toStdString();
    const QStringList bench
        = ElfExports::functions(QStringLiteral(KAVRA_SIM_PATH), QStringLiteral("FT_"), &error);
    ASSERT_FALSE(bench.isEmpty()) << error.toStdString();

    EXPECT_EQ(missingFrom(vendor, bench).join(QLatin1Char(' ')).toStdString(), "")
        << "exported by FTDI's library only";
    EXPECT_EQ(missingFrom(bench, vendor).join(QLatin1Char(' ')).toStdString(), "")
        << "exported by the bench only";
}

} // namespace
