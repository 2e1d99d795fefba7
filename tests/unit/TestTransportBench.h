#pragma once

// The virtual bench's control interface for transport tests. The bench file is the same one the
// library's D2XX loader opened (KAVRA_D2XX_LIBRARY), so both see one bench.

#include "D2xxLibrary.h"
#include "kavra_sim.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <vector>

class TestTransportBench
{
public:
    static TestTransportBench& instance()
    {
        static TestTransportBench bench;
        return bench;
    }

    bool isReady() const { return m_ready; }

    int load(const QByteArray& json) const { return m_load(json.constData()); }
    int reset() const { return m_reset(); }
    int failOpens(const char* serial, int count) const { return m_failOpens(serial, count); }
    int failEepromReads(const char* serial, int count) const { return m_failEepromReads(serial, count); }
    // Status byte the unit answers an instruction with; -1 ends the override.
    int setStatusOverride(const char* serial, int instruction, int status) const
    {
        return m_setStatusOverride(serial, instruction, status);
    }
    int openHandleCount() const { return m_openHandleCount(); }
    int unplug(const char* serial) const { return m_unplug(serial); }
    int sendUnsolicited(const char* serial, int link, const QByteArray& bytes) const
    {
        return m_sendUnsolicited(serial, link, reinterpret_cast<const unsigned char*>(bytes.constData()),
                                 bytes.size());
    }

    // Link configuration calls since the last call, as "FT_SetBitMode(255,0)" lines.
    QStringList configCalls(const char* serial, int link) const
    {
        QStringList calls;
        const QJsonArray array = QJsonDocument::fromJson(take([&](char* b, int n) {
                                                             return m_takeConfigCalls(serial, link, b, n);
                                                         })).array();
        for (const QJsonValue& value : array) {
            QStringList args;
            for (const QJsonValue& arg : value.toObject().value(QStringLiteral("args")).toArray())
                args << QString::number(static_cast<qint64>(arg.toDouble()));
            calls << value.toObject().value(QStringLiteral("call")).toString() + QLatin1Char('(') +
                         args.join(QLatin1Char(',')) + QLatin1Char(')');
        }
        return calls;
    }

    // Wire log records since the last call, as "out 0: 00" / "in 1: 0a0b" lines.
    QStringList wireLog(const char* serial) const
    {
        QStringList lines;
        const QJsonArray array =
            QJsonDocument::fromJson(take([&](char* b, int n) { return m_takeWireLog(serial, b, n); })).array();
        for (const QJsonValue& value : array) {
            const QJsonObject record = value.toObject();
            lines << QStringLiteral("%1 %2: %3")
                         .arg(record.value(QStringLiteral("dir")).toString())
                         .arg(record.value(QStringLiteral("link")).toInt())
                         .arg(record.value(QStringLiteral("data")).toString());
        }
        return lines;
    }

    QJsonObject unitState(const char* serial) const
    {
        return QJsonDocument::fromJson(take([&](char* b, int n) { return m_unitState(serial, b, n); })).object();
    }

private:
    template <typename Fn> void resolve(void* library, const char* name, Fn& function)
    {
        function = reinterpret_cast<Fn>(dlsym(library, name));
        m_ready = m_ready && function;
    }

    TestTransportBench()
    {
        // Never closed: the loader keeps the same file loaded for the whole process anyway.
        void* library = dlopen(KAVRA_SIM_PATH, RTLD_NOW | RTLD_LOCAL);
        m_ready = library != nullptr;
        if (!library)
            return;
        resolve(library, "kavrasim_load_bench", m_load);
        resolve(library, "kavrasim_reset", m_reset);
        resolve(library, "kavrasim_fail_opens", m_failOpens);
        resolve(library, "kavrasim_fail_eeprom_reads", m_failEepromReads);
        resolve(library, "kavrasim_set_status_override", m_setStatusOverride);
        resolve(library, "kavrasim_open_handle_count", m_openHandleCount);
        resolve(library, "kavrasim_unplug", m_unplug);
        resolve(library, "kavrasim_send_unsolicited", m_sendUnsolicited);
        resolve(library, "kavrasim_take_config_calls", m_takeConfigCalls);
        resolve(library, "kavrasim_take_wire_log", m_takeWireLog);
        resolve(library, "kavrasim_unit_state", m_unitState);
    }

    // Fills a buffer from a text-returning control function, growing it until the text fits.
    template <typename Call> static QByteArray take(Call call)
    {
        QByteArray buffer(4096, '\0');
        for (int attempt = 0; attempt < 8; ++attempt) {
            const int needed = call(buffer.data(), buffer.size());
            if (needed <= 0)
                return QByteArray();
            if (needed <= buffer.size())
                return QByteArray(buffer.constData());
            buffer.resize(needed);
        }
        return QByteArray();
    }

    bool m_ready = false;
    int (*m_load)(const char*) = nullptr;
    int (*m_reset)() = nullptr;
    int (*m_failOpens)(const char*, int) = nullptr;
    int (*m_failEepromReads)(const char*, int) = nullptr;
    int (*m_setStatusOverride)(const char*, int, int) = nullptr;
    int (*m_openHandleCount)() = nullptr;
    int (*m_unplug)(const char*) = nullptr;
    int (*m_sendUnsolicited)(const char*, int, const unsigned char*, int) = nullptr;
    int (*m_takeConfigCalls)(const char*, int, char*, int) = nullptr;
    int (*m_takeWireLog)(const char*, char*, int) = nullptr;
    int (*m_unitState)(const char*, char*, int) = nullptr;
};

// Each test starts from a bench of its own and must leave no D2XX handle open.
class TransportBenchTest : public ::testing::Test
{
protected:
    const TestTransportBench& bench() const { return TestTransportBench::instance(); }

    void loadBench(const QByteArray& json)
    {
        ASSERT_TRUE(bench().isReady()) << "cannot load the bench from " KAVRA_SIM_PATH;
        ASSERT_TRUE(D2xxLibrary::instance().isLoaded()) << qPrintable(D2xxLibrary::instance().errorText());
        ASSERT_EQ(bench().load(json), 0) << json.constData();
    }

    void TearDown() override
    {
        if (bench().isReady()) {
            EXPECT_EQ(bench().openHandleCount(), 0) << "a test left a D2XX handle open";
            bench().reset();
        }
    }

    // The D2XX list position of the entry with this listed serial number, or -1.
    static int listPosition(const QString& listedSerial)
    {
        const D2xxLibrary& d2xx = D2xxLibrary::instance();
        DWORD count = 0;
        if (d2xx.createDeviceInfoList(&count) != FT_OK || count == 0)
            return -1;
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
        DWORD filled = count;
        if (d2xx.getDeviceInfoList(nodes.data(), &filled) != FT_OK)
            return -1;
        for (DWORD i = 0; i < filled && i < count; ++i) {
            if (QString::fromLatin1(nodes[i].SerialNumber, int(qstrnlen(nodes[i].SerialNumber, 16))) == listedSerial)
                return int(i);
        }
        return -1;
    }
};
