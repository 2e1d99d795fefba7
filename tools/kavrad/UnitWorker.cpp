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
    , m_poll(profile, m_instrument)
    , m_pollTimer(this)
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
    connect(&m_pollTimer, &QTimer::timeout, this, &UnitWorker::poll);
    connect(allOff, &AllOffSwitch::requested, this, [this](int from) {
        if (from == m_index)
            return;
        m_supply.switchAllOff(QStringLiteral("all off, asked by unit %1's client").arg(from));
        followRamps();
    });
}

void UnitWorker::execute(quint64 client, const QString& line, const ClientState& state)
{
    ClientState updated = state;
    const QString reply = run(line, updated);
    Q_EMIT executed(client, reply, updated);
}

QString UnitWorker::run(const QString& line, ClientState& state)
{
    // Every command restarts the watchdog's time.
    if (m_watchdog.interval() > 0)
        m_watchdog.start();
    const QString reply = m_instrument.execute(line, state);
    followRamps();
    return reply;
}

void UnitWorker::drain(bool switchOff)
{
    if (switchOff)
        m_supply.switchAllOff(QStringLiteral("ending"));
    m_rampTimer.stop();
    m_watchdog.stop();
    m_pollTimer.stop();
    Q_EMIT drained();
}

void UnitWorker::followRamps()
{
    if (!m_supply.ramping())
        m_rampTimer.stop();
    else if (!m_rampTimer.isActive())
        m_rampTimer.start();
}

void UnitWorker::startPolling(int ms)
{
    m_pollTimer.setInterval(ms);
    m_pollTimer.start();
    poll();
}

void UnitWorker::control(quint64 ticket, const QString& line)
{
    ClientState state;
    run(line, state);
    Q_EMIT controlled(ticket, state.errorCount() > 0 ? state.next().toReply() : QString());
    // The page shows the outcome at once rather than at the next poll.
    if (m_pollTimer.isActive())
        poll();
}

void UnitWorker::poll()
{
    Q_EMIT polled(m_poll.take());
}
