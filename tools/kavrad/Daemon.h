#ifndef KAVRAD_DAEMON_H
#define KAVRAD_DAEMON_H

#include "DaemonOptions.h"

#include <QObject>
#include <QVector>

class AllOffSwitch;
class DashboardServer;
class UnitServer;

// The server as a whole: one UnitServer per attached unit, and the orderly shutdown.
class Daemon : public QObject
{
    Q_OBJECT

public:
    explicit Daemon(const DaemonOptions& options, QObject* parent = nullptr);

    // Finds the attached units and listens for each on its port, printing one line per unit.
    // 0 when it serves them all; otherwise the process's exit code, with the reason on standard
    // error: ToolError::NoDriver when no D2XX library could be loaded, 1 for any other reason.
    int start();
    // Stops accepting, lets the commands under way finish, then emits finished().
    void shutdown();

Q_SIGNALS:
    void finished();

private:
    quint16 portFor(int index, const QString& serial, QString* problem) const;
    // The dashboard on its port, its URL printed; false, with the reason printed, when the port
    // cannot be had.
    bool startDashboard();
    void serverStopped();

    DaemonOptions m_options;
    AllOffSwitch* m_allOff;
    QVector<UnitServer*> m_servers;
    DashboardServer* m_dashboard = nullptr;
    int m_running = 0;
    bool m_shuttingDown = false;
};

#endif
