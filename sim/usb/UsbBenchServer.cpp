#include "UsbBenchServer.h"

#include "SimBench.h"
#include "UsbTestbed.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>

#include <climits>

namespace {

QJsonObject result(int value)
{
    return QJsonObject{{QStringLiteral("result"), value}};
}

QJsonValue parsed(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

} // namespace

UsbBenchServer::UsbBenchServer(UsbTestbed& testbed, QObject* parent)
    : QObject(parent), m_testbed(testbed)
{
    connect(&m_server, &QLocalServer::newConnection, this, &UsbBenchServer::onConnection);
}

bool UsbBenchServer::listen(const QString& path, QString* error)
{
    if (m_server.listen(path))
        return true;
    *error = m_server.errorString();
    return false;
}

void UsbBenchServer::onConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() {
            while (socket->canReadLine()) {
                const QJsonObject request = QJsonDocument::fromJson(socket->readLine()).object();
                socket->write(QJsonDocument(answer(request)).toJson(QJsonDocument::Compact) + '\n');
            }
        });
    }
}

QJsonObject UsbBenchServer::answer(const QJsonObject& request)
{
    SimBench& bench = SimBench::instance();
    const QString op = request.value(QStringLiteral("op")).toString();
    const QString serial = request.value(QStringLiteral("serial")).toString();
    const int value = request.value(QStringLiteral("value")).toInt();
    const int link = request.value(QStringLiteral("link")).toInt();

    if (op == QLatin1String("unplug") || op == QLatin1String("replug")) {
        const int status = bench.setPlugged(serial, op == QLatin1String("replug"));
        m_testbed.refreshPresence();
        return result(status);
    }
    static const QHash<QString, SimBench::Fault> faults{
        {QStringLiteral("drop_replies"), SimBench::Fault::DropReplies},
        {QStringLiteral("delay_next_reply"), SimBench::Fault::DelayNextReply},
        {QStringLiteral("corrupt_next_reply"), SimBench::Fault::CorruptNextReply},
        {QStringLiteral("fail_eeprom_reads"), SimBench::Fault::FailEepromReads},
        {QStringLiteral("fail_opens"), SimBench::Fault::FailOpens},
        {QStringLiteral("fail_writes"), SimBench::Fault::FailWrites},
    };
    if (faults.contains(op))
        return result(bench.injectFault(serial, faults.value(op), value));
    if (op == QLatin1String("set_status_override"))
        return result(bench.setStatusOverride(
            serial, request.value(QStringLiteral("instruction")).toInt(), value));
    if (op == QLatin1String("send_unsolicited")) {
        const QByteArray bytes
            = QByteArray::fromHex(request.value(QStringLiteral("data")).toString().toLatin1());
        return result(bench.sendUnsolicited(serial, link, bytes));
    }
    if (op == QLatin1String("open_handle_count"))
        return result(bench.openHandleCount());

    QByteArray json;
    int status = SimBench::kBadArgument;
    QString key;
    if (op == QLatin1String("unit_state")) {
        status = bench.unitState(serial, &json);
        key = QStringLiteral("state");
    } else if (op == QLatin1String("take_wire_log")) {
        status = bench.takeWireLog(serial, INT_MAX, &json);
        key = QStringLiteral("log");
    } else if (op == QLatin1String("take_config_calls")) {
        status = bench.takeConfigCalls(serial, link, INT_MAX, &json);
        key = QStringLiteral("calls");
    } else if (op == QLatin1String("take_usb_requests")) {
        UsbFtdiChip* chip = m_testbed.chipBySerial(serial);
        if (!chip)
            return result(SimBench::kUnknownSerial);
        QJsonObject reply = result(SimBench::kOk);
        reply.insert(QStringLiteral("requests"), chip->takeRequestLog());
        return reply;
    } else if (op == QLatin1String("eeprom_image")) {
        UsbFtdiChip* chip = m_testbed.chipBySerial(serial);
        if (!chip)
            return result(SimBench::kUnknownSerial);
        QString words;
        for (uint16_t word : chip->eepromWords())
            words += QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0'));
        QJsonObject reply = result(SimBench::kOk);
        reply.insert(QStringLiteral("words"), words);
        return reply;
    } else {
        return QJsonObject{{QStringLiteral("result"), SimBench::kBadArgument},
            {QStringLiteral("error"), QStringLiteral("unknown operation \"%1\"").arg(op)}};
    }
    QJsonObject reply = result(status);
    if (status == SimBench::kOk)
        reply.insert(key, parsed(json));
    return reply;
}
