#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QLocalSocket>
#include <QString>
#include <QStringList>
#include <QVector>

// A client of a running USB-level bench's control interface (see UsbBenchServer), for programs
// that run under kavra-usbbench: it finds the bench through KAVRA_USBBENCH_SOCKET.
class UsbBenchClient
{
public:
    // Connects to the socket KAVRA_USBBENCH_SOCKET names, or to the given path.
    explicit UsbBenchClient(const QString& path = QString());

    bool isConnected() const { return m_socket.state() == QLocalSocket::ConnectedState; }
    QString errorString() const { return m_socket.errorString(); }

    // Sends one request; the reply, or {"result": -100, "error": ...} when the bench is gone.
    QJsonObject request(const QJsonObject& request);

    int unplug(const QString& serial);
    int replug(const QString& serial);
    // A fault operation (drop_replies, delay_next_reply, corrupt_next_reply, fail_eeprom_reads,
    // fail_opens, fail_writes) with its value.
    int fault(const QString& op, const QString& serial, int value);
    QJsonObject unitState(const QString& serial);
    QJsonArray takeWireLog(const QString& serial);
    QJsonArray takeConfigCalls(const QString& serial, int link);
    QStringList takeUsbRequests(const QString& serial);
    // The chip's EEPROM, word by word.
    QVector<uint16_t> eepromImage(const QString& serial);

    static constexpr int kNoBench = -100;

private:
    QLocalSocket m_socket;
};
