#include "FifoLock.h"

FifoLock::Place::Place(FifoLock& lock) : m_lock(lock), m_holding(false)
{
    std::lock_guard<std::mutex> locker(m_lock.m_mutex);
    m_ticket = m_lock.m_nextTicket++;
}

FifoLock::Place::~Place()
{
    if (!m_holding)
        wait();
    {
        std::lock_guard<std::mutex> locker(m_lock.m_mutex);
        ++m_lock.m_serving;
    }
    m_lock.m_turnChanged.notify_all();
}

void FifoLock::Place::wait()
{
    std::unique_lock<std::mutex> locker(m_lock.m_mutex);
    m_lock.m_turnChanged.wait(locker, [this] { return m_lock.m_serving == m_ticket; });
    m_holding = true;
}
