#pragma once

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>

class UsbTestbed;

// The control interface of a running USB-level bench: a local socket on which each line is a
// JSON request {"op": ..., ...} answered by one JSON line {"result": n, ...}. The operations and
// their results are those of the D2XX bench's control functions (sim/kavra_sim.h), plus the
// vendor requests each chip received; docs/bench.md lists them.
class UsbBenchServer : public QObject
{
    Q_OBJECT

public:
    explicit UsbBenchServer(UsbTestbed& testbed, QObject* parent = nullptr);

    bool listen(const QString& path, QString* error);
    QString path() const { return m_server.fullServerName(); }
    QJsonObject answer(const QJsonObject& request);

private Q_SLOTS:
    void onConnection();

private:
    UsbTestbed& m_testbed;
    QLocalServer m_server;
};
