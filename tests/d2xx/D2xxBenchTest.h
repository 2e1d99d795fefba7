#pragma once

// Helpers for tests that drive the virtual bench as a D2XX client.

#define KAVRA_D2XX_DECLARE_FUNCTIONS
#include "FtdiD2xx.h"

#include "D2xxFunctions.h"
#include "kavra_sim.h"
#include "Packets.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <gtest/gtest.h>

#include <cstring>

namespace benchclient {

// Serial numbers of the default bench.
constexpr const char* kAlder = "QZAH015010001";
constexpr const char* kCedar = "QZAH017010002";
constexpr const char* kGeneric19 = "QZAH019010003";
constexpr const char* kGeneric25 = "QZAH025010004";
constexpr const char* kBirch = "QZAH040010005";
constexpr const char* kRowan = "QZAH041010006";

using Packets::packet;

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
