#ifndef KAVRAD_ALLOFFSWITCH_H
#define KAVRAD_ALLOFFSWITCH_H

#include <QObject>

// Switches every unit's outputs off at the request of any unit's client (OUTPut:ALL OFF). Each
// unit's worker listens; a request from one worker reaches the others through their own event
// queues, behind the lines they hold, so that no worker ever waits for another.
class AllOffSwitch : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // From any thread: every unit but the one with the index `from` switches its outputs off.
    void request(int from) { Q_EMIT requested(from); }

Q_SIGNALS:
    void requested(int from);
};

#endif
