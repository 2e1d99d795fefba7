#ifndef KAVRAD_CLIENTSTATE_H
#define KAVRAD_CLIENTSTATE_H

#include "ScpiError.h"

#include <QList>
#include <QMetaType>

// What SCPI keeps per client: the error queue and the event status registers. Each connection
// has its own, so that one client never reads another's errors. A value: it travels with each
// line to the unit's worker and back.
class ClientState
{
public:
    static constexpr int QueueLength = 20;
    static constexpr int OperationComplete = 0x01;

    // Queues the error and sets its event bit; when the queue is full, its last entry becomes
    // "Queue overflow".
    void push(const ScpiError& error);
    // The oldest error, removed from the queue; "No error" when the queue is empty.
    ScpiError next();
    int errorCount() const { return m_errors.size(); }
    // *CLS: empties the queue and the event status register.
    void clear();

    void setEvent(int bits) { m_events |= bits; }
    // *ESR?: reads and clears the event status register.
    int takeEvents();
    int eventEnable() const { return m_eventEnable; }
    void setEventEnable(int mask) { m_eventEnable = mask & 0xFF; }
    // *STB?: bit 2 when the error queue holds an entry, bit 5 when an enabled event is set.
    int statusByte() const;

private:
    QList<ScpiError> m_errors;
    int m_events = 0;
    int m_eventEnable = 0;
};

Q_DECLARE_METATYPE(ClientState)

#endif
