#include "BenchControl.h"

#include <QJsonDocument>

#include <dlfcn.h>

#include <cstdlib>

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
    // The library under test loads the file KAVRA_D2XX_LIBRARY names; when that is not a bench
    // (a test of the loader's fallbacks), the built bench is used.
    if (const char* path = std::getenv("KAVRA_D2XX_LIBRARY"))
        m_handle = dlopen(path, RTLD_NOW);
    if (m_handle && !dlsym(m_handle, "kavrasim_reset"))
        m_handle = nullptr;
    if (!m_handle)
        m_handle = dlopen(KAVRA_SIM_PATH, RTLD_NOW);
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

template <typename Call> QByteArray BenchControl::text(Call call)
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

QJsonObject BenchControl::unitState(const char* serial)
{
    auto fill = reinterpret_cast<FillFn>(symbol("kavrasim_unit_state"));
    if (!fill)
        return QJsonObject();
    return QJsonDocument::fromJson(text([&](char* b, int n) { return fill(serial, b, n); })).object();
}

QJsonArray BenchControl::takeWireLog(const char* serial)
{
    auto fill = reinterpret_cast<FillFn>(symbol("kavrasim_take_wire_log"));
    if (!fill)
        return QJsonArray();
    return QJsonDocument::fromJson(text([&](char* b, int n) { return fill(serial, b, n); })).array();
}

QJsonArray BenchControl::takeConfigCalls(const char* serial, int link)
{
    auto fill = reinterpret_cast<LinkFillFn>(symbol("kavrasim_take_config_calls"));
    if (!fill)
        return QJsonArray();
    return QJsonDocument::fromJson(text([&](char* b, int n) { return fill(serial, link, b, n); }))
        .array();
}

QStringList BenchControl::takeConfigCallLines(const char* serial, int link)
{
    QStringList calls;
    for (const QJsonValue& value : takeConfigCalls(serial, link)) {
        QStringList args;
        for (const QJsonValue& arg : value.toObject().value(QStringLiteral("args")).toArray())
            args << QString::number(static_cast<qint64>(arg.toDouble()));
        calls << value.toObject().value(QStringLiteral("call")).toString() + QLatin1Char('(') +
                     args.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    return calls;
}

QStringList BenchControl::takeWireLogLines(const char* serial)
{
    QStringList lines;
    for (const QJsonValue& value : takeWireLog(serial)) {
        const QJsonObject record = value.toObject();
        lines << QStringLiteral("%1 %2: %3")
                     .arg(record.value(QStringLiteral("dir")).toString())
                     .arg(record.value(QStringLiteral("link")).toInt())
                     .arg(record.value(QStringLiteral("data")).toString());
    }
    return lines;
}

int BenchControl::sendUnsolicited(const char* serial, int link, const QByteArray& bytes)
{
    auto fn = reinterpret_cast<int (*)(const char*, int, const unsigned char*, int)>(
        symbol("kavrasim_send_unsolicited"));
    return fn ? fn(serial, link, reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size())
              : -100;
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
