#include "Daemon.h"

#include "AllOffSwitch.h"
#include "DashboardServer.h"

#include "DriverInfo.h"
#include "ToolError.h"
#include "UnitServer.h"

#include <KavraLib.h>

#include <QRandomGenerator>
#include <QSet>

#include <array>
#include <cstdio>

namespace {

QString endpoint(const QHostAddress& address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
        : address.toString();
    return host + QLatin1Char(':') + QString::number(port);
}

} // namespace

Daemon::Daemon(const DaemonOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_allOff(new AllOffSwitch(this))
{ }

int Daemon::start()
{
    const int failed = 1;
    std::array<char, 64> version{};
    if (getLibraryVersion(version.data(), int(version.size())) != 0)
        version = {'?'};
    // Every unit the library numbers: in a fresh session, the attached ones in list order.
    int count = 0;
    getHighestDeviceIndex(&count);
    if (count == 0) {
        // Without a D2XX library nothing can be found: say which library was tried and why.
        const DriverInfo driver = DriverInfo::query();
        if (!driver.loaded()) {
            std::fprintf(stderr, "kavrad: %s\n", qPrintable(ToolError::noDriver(driver).message()));
            return ToolError::NoDriver;
        }
        std::fprintf(stderr, "kavrad: no supply units attached (%s)\n", qPrintable(driver.line()));
        return failed;
    }

    QSet<QString> served;
    QSet<quint16> ports;
    for (int index = 1; index <= count; ++index) {
        try {
            const UnitIdentity identity = UnitIdentity::ofIndex(index);
            QString problem;
            const quint16 port = portFor(index, identity.serial(), &problem);
            if (port != 0 && ports.contains(port))
                problem = QStringLiteral("port %1 is given to another unit").arg(port);
            if (!problem.isEmpty()) {
                std::fprintf(
                    stderr, "kavrad: %s: %s\n", qPrintable(identity.label()), qPrintable(problem));
                return failed;
            }
            auto* server
                = new UnitServer(UnitProfile(identity), QString::fromLatin1(version.data()),
                    m_options.allowed(), m_options.safetyOf(identity.serial()), m_allOff, this);
            m_servers.append(server);
            if (!server->listen(m_options.listenAddress(), port)) {
                std::fprintf(stderr, "kavrad: %s: cannot listen on %s: %s\n",
                    qPrintable(identity.label()),
                    qPrintable(endpoint(m_options.listenAddress(), port)),
                    qPrintable(server->errorString()));
                return failed;
            }
            ports.insert(server->port());
            served.insert(identity.serial().toUpper());
            std::printf("kavrad: %s on %s\n", qPrintable(identity.label()),
                qPrintable(endpoint(m_options.listenAddress(), server->port())));
        } catch (const ToolError& error) {
            std::fprintf(stderr, "kavrad: %s\n", qPrintable(error.message()));
            return failed;
        }
    }
    const QList<QString> pinned = m_options.pinnedPorts().keys();
    for (const QString& serial : pinned) {
        if (!served.contains(serial))
            std::fprintf(stderr,
                "kavrad: warning: no attached unit has the pinned serial number %s\n",
                qPrintable(serial));
    }
    const QList<QString> safeguarded = m_options.safetySerials();
    for (const QString& serial : safeguarded) {
        if (!served.contains(serial))
            std::fprintf(stderr,
                "kavrad: warning: no attached unit has the serial number %s of --slew or --limit\n",
                qPrintable(serial));
    }
    if (m_options.httpPort() >= 0 && !startDashboard())
        return failed;
    std::printf("kavrad: serving %d units\n", count);
    std::fflush(stdout);
    m_running = m_servers.size();
    return 0;
}

bool Daemon::startDashboard()
{
    QByteArray token = m_options.httpToken();
    if (token.isEmpty()) {
        std::array<quint32, 8> random{};
        QRandomGenerator::system()->fillRange(random.data(), int(random.size()));
        token
            = QByteArray(reinterpret_cast<const char*>(random.data()), int(sizeof random)).toHex();
    }
    m_dashboard = new DashboardServer(
        m_servers, token, m_options.allowed(), m_options.pollIntervalMs(), this);
    if (!m_dashboard->listen(m_options.listenAddress(), quint16(m_options.httpPort()))) {
        std::fprintf(stderr, "kavrad: dashboard: cannot listen on %s: %s\n",
            qPrintable(endpoint(m_options.listenAddress(), quint16(m_options.httpPort()))),
            qPrintable(m_dashboard->errorString()));
        return false;
    }
    std::printf("kavrad: dashboard on %s\n", qPrintable(m_dashboard->url()));
    return true;
}

quint16 Daemon::portFor(int index, const QString& serial, QString* problem) const
{
    const QHash<QString, quint16> pins = m_options.pinnedPorts();
    const auto pinned = pins.constFind(serial.toUpper());
    if (pinned != pins.constEnd())
        return pinned.value();
    if (m_options.basePort() == 0)
        return 0;
    const int port = m_options.basePort() + index - 1;
    if (port > 65535) {
        *problem = QStringLiteral("port %1 is beyond 65535").arg(port);
        return 0;
    }
    return quint16(port);
}

void Daemon::shutdown()
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    if (m_dashboard)
        m_dashboard->close();
    if (m_running == 0) {
        Q_EMIT finished();
        return;
    }
    for (UnitServer* server : qAsConst(m_servers)) {
        connect(server, &UnitServer::stopped, this, &Daemon::serverStopped);
        server->stop(m_options.offOnExit());
    }
}

void Daemon::serverStopped()
{
    if (--m_running == 0)
        Q_EMIT finished();
}
