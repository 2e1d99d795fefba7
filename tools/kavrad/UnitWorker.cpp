#include "UnitWorker.h"

#include "AllOffSwitch.h"

#include <cmath>

UnitWorker::UnitWorker(const UnitProfile& profile, const QString& libraryVersion,
    const UnitSafety& safety, AllOffSwitch* allOff)
    : m_index(profile.identity().index())
    , m_supply(profile, libraryVersion, safety, [allOff, this] { allOff->request(m_index); })
    , m_instrument(
          m_supply.identity(), [this] { m_supply.reset(); }, [this] { m_supply.selfTest(); },
          m_supply.commands())
    // Children, so that they move to the worker's thread with it.
    , m_rampTimer(this)
    , m_watchdog(this)
{
    m_rampTimer.setTimerType(Qt::PreciseTimer);
    m_rampTimer.setInterval(OutputRamps::PeriodMs);
    connect(&m_rampTimer, &QTimer::timeout, this, [this] {
        m_supply.stepRamps();
        followRamps();
    });
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(int(std::lround(safety.watchdogSeconds * 1000)));
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        m_supply.watchdogExpired();
        followRamps();
    });
    connect(allOff, &AllOffSwitch::requested, this, [this](int from) {
        if (from == m_index)
            return;
        m_supply.switchAllOff(QStringLiteral("all off, asked by unit %1's client").arg(from));
        followRamps();
    });
}

void UnitWorker::execute(quint64 client, const QString& line, const ClientState& state)
{
    // Every command restarts the watchdog's time.
    if (m_watchdog.interval() > 0)
        m_watchdog.start();
    ClientState updated = state;
    const QString reply = m_instrument.execute(line, updated);
    followRamps();
    Q_EMIT executed(client, reply, updated);
}

void UnitWorker::drain(bool switchOff)
{
    if (switchOff)
        m_supply.switchAllOff(QStringLiteral("ending"));
    m_rampTimer.stop();
    m_watchdog.stop();
    Q_EMIT drained();
}

void UnitWorker::followRamps()
{
    if (!m_supply.ramping())
        m_rampTimer.stop();
    else if (!m_rampTimer.isActive())
        m_rampTimer.start();
}
