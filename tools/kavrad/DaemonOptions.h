#ifndef KAVRAD_DAEMONOPTIONS_H
#define KAVRAD_DAEMONOPTIONS_H

#include "UnitSafety.h"

#include <QHash>
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// kavrad's command line.
class DaemonOptions
{
public:
    static constexpr quint16 DefaultBasePort = 5025;

    // Parses the program's arguments (the first is the program). Prints the help or the version
    // and exits when asked to; throws ToolError on misuse.
    static DaemonOptions parse(const QStringList& arguments);

    // Unit k listens on basePort + k - 1; 0 lets the system choose a free port for each unit.
    quint16 basePort() const { return m_basePort; }
    QHostAddress listenAddress() const { return m_listen; }
    // The subnets clients may connect from; every client when empty.
    QList<QPair<QHostAddress, int>> allowed() const { return m_allowed; }
    // Ports pinned to serial numbers (upper case).
    QHash<QString, quint16> pinnedPorts() const { return m_pins; }
    bool sim() const { return m_sim || !m_benchFile.isEmpty(); }
    QString benchFile() const { return m_benchFile; }
    // The safety settings of the unit with this serial number (any case).
    UnitSafety safetyOf(const QString& serial) const;
    bool offOnExit() const { return m_offOnExit; }
    // The dashboard's port: -1 without the dashboard, 0 for a free port.
    int httpPort() const { return m_httpPort; }
    // The dashboard's fixed token (--http-token-file); empty for a random one.
    QByteArray httpToken() const { return m_httpToken; }
    // How often the units are read for the dashboard.
    int pollIntervalMs() const { return m_pollIntervalMs; }
    // Serial numbers given to --slew or --limit (upper case).
    QList<QString> safetySerials() const { return m_safety.keys(); }

private:
    quint16 m_basePort = DefaultBasePort;
    QHostAddress m_listen = QHostAddress(QHostAddress::LocalHost);
    QList<QPair<QHostAddress, int>> m_allowed;
    QHash<QString, quint16> m_pins;
    bool m_sim = false;
    QString m_benchFile;
    QHash<QString, UnitSafety> m_safety;
    double m_watchdogSeconds = 0.0;
    bool m_offOnExit = false;
    int m_httpPort = -1;
    QByteArray m_httpToken;
    int m_pollIntervalMs = 1000;
};

#endif
