#include "BenchControl.h"
#include "Packets.h"
#include "SharedLibrary.h"

#include <QJsonDocument>

#include <cstdlib>
#include <string>

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
        m_handle = SharedLibrary::open(path);
    if (m_handle && !SharedLibrary::symbol(m_handle, "kavrasim_reset"))
        m_handle = nullptr;
    if (!m_handle)
        m_handle = SharedLibrary::open(KAVRA_SIM_PATH);
}

void* BenchControl::symbol(const char* name) const
{
    return SharedLibrary::symbol(m_handle, "kavrasim_" + std::string(name));
}

template <typename... Args> QByteArray BenchControl::text(const char* name, Args... args) const
{
    auto fill = reinterpret_cast<int (*)(Args..., char*, int)>(symbol(name));
    QByteArray buffer(4096, '\0');
    for (int attempt = 0; fill && attempt < 8; ++attempt) {
        const int needed = fill(args..., buffer.data(), buffer.size());
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
    return QJsonDocument::fromJson(text("unit_state", serial)).object();
}

QJsonArray BenchControl::takeWireLog(const char* serial)
{
    return QJsonDocument::fromJson(text("take_wire_log", serial)).array();
}

QJsonArray BenchControl::takeConfigCalls(const char* serial, int link)
{
    return QJsonDocument::fromJson(text("take_config_calls", serial, link)).array();
}

QStringList BenchControl::takeConfigCallLines(const char* serial, int link)
{
    QStringList calls;
    for (const QJsonValue& value : takeConfigCalls(serial, link)) {
        QStringList args;
        for (const QJsonValue& arg : value.toObject().value(QStringLiteral("args")).toArray())
            args << QString::number(static_cast<qint64>(arg.toDouble()));
        calls << value.toObject().value(QStringLiteral("call")).toString() + QLatin1Char('(')
                + args.join(QLatin1Char(',')) + QLatin1Char(')');
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

QByteArray BenchControl::takeHostBytes(const char* serial)
{
    QByteArray bytes;
    for (const QJsonValue& entry : takeWireLog(serial)) {
        const QJsonObject o = entry.toObject();
        if (o.value(QStringLiteral("dir")).toString() == QLatin1String("out")
            && o.value(QStringLiteral("link")).toInt() == 0)
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
        const int length = Packets::wordAt(bytes, at + 6);
        packets.append(qMakePair(
            static_cast<int>(static_cast<quint8>(bytes.at(at + 5))), bytes.mid(at + 8, length)));
        at += 8 + length;
    }
    return packets;
}

std::string BenchControl::takeHostPacketsText(const char* serial)
{
    QStringList items;
    for (const auto& packet : takeHostPackets(serial))
        items << QString::number(packet.first, 16) + QLatin1Char(':') + packet.second.toHex();
    return items.join(QLatin1Char(' ')).toStdString();
}
