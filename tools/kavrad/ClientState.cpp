#include "ClientState.h"

void ClientState::push(const ScpiError& error)
{
    m_events |= error.eventBit();
    if (m_errors.size() < QueueLength) {
        m_errors.append(error);
        return;
    }
    m_errors.last() = ScpiError(ScpiError::QueueOverflow);
}

ScpiError ClientState::next()
{
    return m_errors.isEmpty() ? ScpiError() : m_errors.takeFirst();
}

void ClientState::clear()
{
    m_errors.clear();
    m_events = 0;
}

int ClientState::takeEvents()
{
    const int events = m_events;
    m_events = 0;
    return events;
}

int ClientState::statusByte() const
{
    int status = 0;
    if (!m_errors.isEmpty())
        status |= 0x04;
    if (m_events & m_eventEnable)
        status |= 0x20;
    return status;
}
