#pragma once

// Helpers for tests that drive the virtual bench as a D2XX client.

#define KAVRA_D2XX_DECLARE_FUNCTIONS
#include "FtdiD2xx.h"

#include "D2xxFunctions.h"
#include "DefaultBench.h"
#include "kavra_sim.h"
#include "Packets.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

namespace benchclient {

// Serial numbers of the default bench.
inline const char* const kAlder = DefaultBench::serial(DefaultBench::Alder);
inline const char* const kCedar = DefaultBench::serial(DefaultBench::Cedar);
inline const char* const kGeneric19 = DefaultBench::serial(DefaultBench::Generic19);
inline const char* const kGeneric25 = DefaultBench::serial(DefaultBench::Generic25);
inline const char* const kBirch = DefaultBench::serial(DefaultBench::Birch);
inline const char* const kRowan = DefaultBench::serial(DefaultBench::Rowan);

using Packets::packet;

// The list entry of one channel of a multi-channel chip: its serial with the channel's letter.
inline QString channel(const char* serial, char letter)
{
    return QString::fromLatin1(serial) + QLatin1Char(letter);
}

// Bench file entries (chip and serial) of these units of the default bench.
inline QString defaultUnits(std::initializer_list<int> indices)
{
    QStringList entries;
    for (int index : indices)
        entries << QStringLiteral(R"({"chip":"%1","serial":"%2"})")
                       .arg(QString::fromStdString(DefaultBench::unit(index)->chip),
                           QLatin1String(DefaultBench::serial(index)));
    return entries.join(QLatin1Char(','));
}

// The bootloader's bare answer to its 0x15 request: status 0, no data.
inline QByteArray echo(quint32 id)
{
    return packet(id, 0);
}

// Loads a bench of these units (JSON objects, comma-separated) with the timing named.
inline int loadUnits(const QString& units, const char* timing = "instant")
{
    const QString bench
        = QStringLiteral(R"({"timing":"%1","units":[%2]})").arg(QLatin1String(timing), units);
    return kavrasim_load_bench(bench.toLatin1().constData());
}

// Every test starts on a fresh default bench and must leave no handle open.
class D2xxBenchTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(kavrasim_reset(), KAVRASIM_OK); }
    void TearDown() override
    {
        EXPECT_EQ(kavrasim_open_handle_count(), 0) << "a test left a handle open";
    }
};

} // namespace benchclient
