#include "TwinUnit.h"

#include "BenchControl.h"
#include "D2xxFunctions.h"

#include <QJsonObject>

TwinUnit::TwinUnit(const QString& serial) : m_serial(serial), m_channels(channels(serial)) { }

TwinUnit::~TwinUnit()
{
    for (const auto& entry : m_handles)
        D2xxFunctions::instance().close(entry.second);
}

QMap<int, QString> TwinUnit::channels(const QString& unitSerial)
{
    QMap<int, QString> channels;
    const QJsonObject state = BenchControl::instance().unitState(unitSerial.toLatin1().constData());
    const QJsonArray list = state.value(QStringLiteral("chip"))
                                .toObject()
                                .value(QStringLiteral("channels"))
                                .toArray();
    for (const QJsonValue& value : list) {
        const QJsonObject channel = value.toObject();
        if (channel.contains(QStringLiteral("link")))
            channels.insert(channel.value(QStringLiteral("link")).toInt(),
                channel.value(QStringLiteral("serial")).toString());
    }
    return channels;
}

bool TwinUnit::openLink(int link, const QJsonArray& configCalls)
{
    if (m_handles.count(link))
        return true;
    const D2xxFunctions& d2xx = D2xxFunctions::instance();
    const QString channel = m_channels.value(link);
    const int listIndex = channel.isEmpty() ? -1 : d2xx.listIndexOf(channel);
    FT_HANDLE handle = nullptr;
    if (listIndex < 0 || d2xx.open(listIndex, &handle) != FT_OK) {
        m_error = QStringLiteral("cannot open link %1 of %2").arg(link).arg(m_serial);
        return false;
    }
    m_handles[link] = handle;
    for (const QJsonValue& call : configCalls) {
        const FT_STATUS status = d2xx.replay(handle, call.toObject());
        if (status != FT_OK) {
            m_error = QStringLiteral("%1 on %2 answered %3")
                          .arg(call.toObject().value(QStringLiteral("call")).toString(), channel)
                          .arg(status);
            return false;
        }
    }
    return true;
}

bool TwinUnit::exchange(const WireScript& script)
{
    const D2xxFunctions& d2xx = D2xxFunctions::instance();
    for (const WireScript::Step& step : script.steps()) {
        const auto handle = m_handles.find(step.link);
        if (handle == m_handles.end()) {
            m_error = QStringLiteral("link %1 of %2 is not open").arg(step.link).arg(m_serial);
            return false;
        }
        DWORD moved = 0;
        if (d2xx.write(handle->second, step.request.constData(),
                static_cast<DWORD>(step.request.size()), &moved)
                != FT_OK
            || moved != static_cast<DWORD>(step.request.size())) {
            m_error = QStringLiteral("write to %1 failed").arg(m_serial);
            return false;
        }
        if (step.replyLength == 0)
            continue;
        if (m_reply.size() < static_cast<std::size_t>(step.replyLength))
            m_reply.resize(static_cast<std::size_t>(step.replyLength));
        if (d2xx.read(handle->second, m_reply.data(), static_cast<DWORD>(step.replyLength), &moved)
                != FT_OK
            || moved != static_cast<DWORD>(step.replyLength)) {
            m_error = QStringLiteral("%1 of %2 reply bytes from %3")
                          .arg(moved)
                          .arg(step.replyLength)
                          .arg(m_serial);
            return false;
        }
    }
    return true;
}

void TwinUnit::clearRecords()
{
    BenchControl::instance().takeWireLog(m_serial.toLatin1().constData());
}
