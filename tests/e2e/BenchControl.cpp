#include "BenchControl.h"

#include <QJsonDocument>

#include <dlfcn.h>

#include <cstdlib>
#include <vector>

namespace {
using SerialFn = int (*)(const char*);
using SerialIntFn = int (*)(const char*, int);
using SerialTwoIntFn = int (*)(const char*, int, int);
using FillFn = int (*)(const char*, char*, int);
using LinkFillFn = int (*)(const char*, int, char*, int);
} // namespace

BenchControl& BenchControl::instance()
{
    static BenchControl control;
    return control;
}

BenchControl::BenchControl()
{
    const char* path = std::getenv("KAVRA_D2XX_LIBRARY");
    m_handle = dlopen(path ? path : KAVRA_SIM_PATH, RTLD_NOW);
}

void* BenchControl::symbol(const char* name) const
{
    return m_handle ? dlsym(m_handle, name) : nullptr;
}

int BenchControl::loadBench(const QByteArray& json)
{
    auto fn = reinterpret_cast<int (*)(const char*)>(symbol("kavrasim_load_bench"));
    return fn ? fn(json.constData()) : -100;
}

int BenchControl::reset()
{
    auto fn = reinterpret_cast<int (*)()>(symbol("kavrasim_reset"));
    return fn ? fn() : -100;
}

int BenchControl::unplug(const char* serial)
{
    auto fn = reinterpret_cast<SerialFn>(symbol("kavrasim_unplug"));
    return fn ? fn(serial) : -100;
}

int BenchControl::replug(const char* serial)
{
    auto fn = reinterpret_cast<SerialFn>(symbol("kavrasim_replug"));
    return fn ? fn(serial) : -100;
}

int BenchControl::dropReplies(const char* serial, int count)
{
    auto fn = reinterpret_cast<SerialIntFn>(symbol("kavrasim_drop_replies"));
    return fn ? fn(serial, count) : -100;
}

int BenchControl::delayNextReply(const char* serial, int ms)
{
    auto fn = reinterpret_cast<SerialIntFn>(symbol("kavrasim_delay_next_reply"));
    return fn ? fn(serial, ms) : -100;
}

int BenchControl::corruptNextReply(const char* serial, int value)
{
    auto fn = reinterpret_cast<SerialIntFn>(symbol("kavrasim_corrupt_next_reply"));
    return fn ? fn(serial, value) : -100;
}

int BenchControl::setStatusOverride(const char* serial, int instruction, int status)
{
    auto fn = reinterpret_cast<SerialTwoIntFn>(symbol("kavrasim_set_status_override"));
    return fn ? fn(serial, instruction, status) : -100;
}

int BenchControl::failEepromReads(const char* serial, int count)
{
    auto fn = reinterpret_cast<SerialIntFn>(symbol("kavrasim_fail_eeprom_reads"));
    return fn ? fn(serial, count) : -100;
}

int BenchControl::failOpens(const char* serial, int count)
{
    auto fn = reinterpret_cast<SerialIntFn>(symbol("kavrasim_fail_opens"));
    return fn ? fn(serial, count) : -100;
}

int BenchControl::failWrites(const char* serial, int count)
{
    auto fn = reinterpret_cast<SerialIntFn>(symbol("kavrasim_fail_writes"));
    return fn ? fn(serial, count) : -100;
}

int BenchControl::openHandleCount()
{
    auto fn = reinterpret_cast<int (*)()>(symbol("kavrasim_open_handle_count"));
    return fn ? fn() : -100;
}

QByteArray BenchControl::text(FillFn fill, const char* serial)
{
    if (!fill)
        return QByteArray();
    std::vector<char> buffer(4096);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int needed = fill(serial, buffer.data(), static_cast<int>(buffer.size()));
        if (needed <= 0)
            return QByteArray();
        if (needed <= static_cast<int>(buffer.size()))
            return QByteArray(buffer.data());
        buffer.resize(static_cast<size_t>(needed));
    }
    return QByteArray();
}

QJsonObject BenchControl::unitState(const char* serial)
{
    return QJsonDocument::fromJson(
               text(reinterpret_cast<FillFn>(symbol("kavrasim_unit_state")), serial))
        .object();
}

QJsonArray BenchControl::takeWireLog(const char* serial)
{
    return QJsonDocument::fromJson(
               text(reinterpret_cast<FillFn>(symbol("kavrasim_take_wire_log")), serial))
        .array();
}

QJsonArray BenchControl::takeConfigCalls(const char* serial, int link)
{
    auto fn = reinterpret_cast<LinkFillFn>(symbol("kavrasim_take_config_calls"));
    if (!fn)
        return QJsonArray();
    std::vector<char> buffer(65536);
    const int needed = fn(serial, link, buffer.data(), static_cast<int>(buffer.size()));
    if (needed <= 0 || needed > static_cast<int>(buffer.size()))
        return QJsonArray();
    return QJsonDocument::fromJson(QByteArray(buffer.data())).array();
}

QByteArray BenchControl::takeHostBytes(const char* serial)
{
    QByteArray bytes;
    for (const QJsonValue& entry : takeWireLog(serial)) {
        const QJsonObject o = entry.toObject();
        if (o.value(QStringLiteral("dir")).toString() == QLatin1String("out") &&
            o.value(QStringLiteral("link")).toInt() == 0)
            bytes += QByteArray::fromHex(o.value(QStringLiteral("data")).toString().toLatin1());
    }
    return bytes;
}

QList<QPair<int, QByteArray>> BenchControl::takeHostPackets(const char* serial)
{
    const QByteArray bytes = takeHostBytes(serial);
    QList<QPair<int, QByteArray>> packets;
    int at = 0;
    while (at < bytes.size()) {
        if (static_cast<quint8>(bytes.at(at)) != 0x05 || at + 8 > bytes.size()) {
            ++at;
            continue;
        }
        const int length = static_cast<quint8>(bytes.at(at + 6)) | (static_cast<quint8>(bytes.at(at + 7)) << 8);
        packets.append(qMakePair(static_cast<int>(static_cast<quint8>(bytes.at(at + 5))),
                                 bytes.mid(at + 8, length)));
        at += 8 + length;
    }
    return packets;
}
