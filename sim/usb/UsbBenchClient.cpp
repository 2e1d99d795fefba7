#include "UsbBenchClient.h"

#include <QJsonDocument>

namespace {

constexpr int kTimeoutMs = 30000;

} // namespace

UsbBenchClient::UsbBenchClient(const QString& path)
{
    const QString target = path.isEmpty() ? qEnvironmentVariable("KAVRA_USBBENCH_SOCKET") : path;
    if (!target.isEmpty()) {
        m_socket.connectToServer(target);
        m_socket.waitForConnected(kTimeoutMs);
    }
}

QJsonObject UsbBenchClient::request(const QJsonObject& request)
{
    const auto failed = [this]() {
        return QJsonObject{{QStringLiteral("result"), kNoBench},
            {QStringLiteral("error"), m_socket.errorString()}};
    };
    if (!isConnected())
        return failed();
    m_socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    if (!m_socket.waitForBytesWritten(kTimeoutMs))
        return failed();
    while (!m_socket.canReadLine()) {
        if (!m_socket.waitForReadyRead(kTimeoutMs))
            return failed();
    }
    return QJsonDocument::fromJson(m_socket.readLine()).object();
}

int UsbBenchClient::unplug(const QString& serial)
{
    return request(
        {{QStringLiteral("op"), QStringLiteral("unplug")}, {QStringLiteral("serial"), serial}})
        .value(QStringLiteral("result"))
        .toInt();
}

int UsbBenchClient::replug(const QString& serial)
{
    return request(
        {{QStringLiteral("op"), QStringLiteral("replug")}, {QStringLiteral("serial"), serial}})
        .value(QStringLiteral("result"))
        .toInt();
}

int UsbBenchClient::fault(const QString& op, const QString& serial, int value)
{
    return request({{QStringLiteral("op"), op}, {QStringLiteral("serial"), serial},
                       {QStringLiteral("value"), value}})
        .value(QStringLiteral("result"))
        .toInt();
}

QJsonObject UsbBenchClient::unitState(const QString& serial)
{
    return request(
        {{QStringLiteral("op"), QStringLiteral("unit_state")}, {QStringLiteral("serial"), serial}})
        .value(QStringLiteral("state"))
        .toObject();
}

QJsonArray UsbBenchClient::takeWireLog(const QString& serial)
{
    return request({{QStringLiteral("op"), QStringLiteral("take_wire_log")},
                       {QStringLiteral("serial"), serial}})
        .value(QStringLiteral("log"))
        .toArray();
}

QJsonArray UsbBenchClient::takeConfigCalls(const QString& serial, int link)
{
    return request({{QStringLiteral("op"), QStringLiteral("take_config_calls")},
                       {QStringLiteral("serial"), serial}, {QStringLiteral("link"), link}})
        .value(QStringLiteral("calls"))
        .toArray();
}

QStringList UsbBenchClient::takeUsbRequests(const QString& serial)
{
    QStringList lines;
    const QJsonArray requests
        = request({{QStringLiteral("op"), QStringLiteral("take_usb_requests")},
                      {QStringLiteral("serial"), serial}})
              .value(QStringLiteral("requests"))
              .toArray();
    for (const QJsonValue& line : requests)
        lines.append(line.toString());
    return lines;
}

QVector<uint16_t> UsbBenchClient::eepromImage(const QString& serial)
{
    const QString hex = request({{QStringLiteral("op"), QStringLiteral("eeprom_image")},
                                    {QStringLiteral("serial"), serial}})
                            .value(QStringLiteral("words"))
                            .toString();
    QVector<uint16_t> words;
    for (int at = 0; at + 4 <= hex.size(); at += 4)
        words.append(uint16_t(hex.mid(at, 4).toUInt(nullptr, 16)));
    return words;
}
