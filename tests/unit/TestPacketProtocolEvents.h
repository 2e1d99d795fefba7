#pragma once

// Helpers for tests of the protocol's worker: the application that posted events need, an event
// loop that runs until a condition holds, receivers and an observer that record what reaches
// them, and a gate that holds the worker inside an exchange.

#include "USBIProtocolObserver.h"
#include "USBPacketErrorEvent.h"
#include "USBPacketProtocol.h"
#include "USBPacketStreamEvent.h"
#include "USBRequestEvent.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

namespace TestAsync {

// Posted events need an application; one serves the whole test process.
inline void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "kavra_unit_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

// Runs the event loop until the condition holds or the time is up; returns the condition.
inline bool processEventsUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    ensureApplication();
    QCoreApplication::processEvents();
    if (condition())
        return true;
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&]() {
        if (condition() || timer.elapsed() > timeoutMs)
            loop.quit();
    });
    check.start(2);
    loop.exec();
    return condition();
}

// Hands out every event already posted to objects of this thread. Once the worker has ended,
// nothing it would ever have posted is missing after this.
inline void drainPostedEvents()
{
    ensureApplication();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// Every protocol event that reached any receiver sharing it, also once a receiver is gone.
struct EventTally
{
    int events = 0;
    // Events whose class does not match their type.
    int mismatched = 0;
};

// Records the protocol's events in the order they arrive.
class RecordingReceiver : public QObject
{
public:
    struct Finished
    {
        std::shared_ptr<USBICommRequest> request;
        USBResult result;
    };
    struct Stream
    {
        int id;
        QByteArray data;
        USBResult result;
    };
    struct Failure
    {
        int errorCode;
        USBResult result;
    };

    explicit RecordingReceiver(EventTally* tally = nullptr) : m_tally(tally) { }

    bool event(QEvent* event) override
    {
        const int type = static_cast<int>(event->type());
        if (type == USBRequestEvent::EventType) {
            auto* e = dynamic_cast<USBRequestEvent*>(event);
            if (e)
                finished.append({e->request(), e->result()});
            return count(e);
        }
        if (type == USBPacketStreamEvent::EventType) {
            auto* e = dynamic_cast<USBPacketStreamEvent*>(event);
            if (e)
                streams.append({e->id(), e->data(), e->result()});
            return count(e);
        }
        if (type == USBPacketErrorEvent::EventType) {
            auto* e = dynamic_cast<USBPacketErrorEvent*>(event);
            if (e)
                failures.append({e->errorCode(), e->result()});
            return count(e);
        }
        return QObject::event(event);
    }

    // Request ids of the request events, in order of arrival.
    QVector<int> finishedIds() const
    {
        QVector<int> ids;
        for (const Finished& f : finished)
            ids.append(f.request->id());
        return ids;
    }

    QVector<Finished> finished;
    QVector<Stream> streams;
    QVector<Failure> failures;

private:
    // Tallies a protocol event; one whose class does not match its type counts as mismatched.
    bool count(const QEvent* matched)
    {
        if (m_tally)
            ++(matched ? m_tally->events : m_tally->mismatched);
        return true;
    }

    EventTally* m_tally;
};

// Records the observer calls; the worker makes them from its own thread.
class RecordingObserver : public USBIProtocolObserver
{
public:
    struct Finished
    {
        int id;
        std::shared_ptr<USBICommRequest> request;
        QObject* receiver;
        USBResult result;
    };

    explicit RecordingObserver(std::set<int> acceptedIds)
        : m_acceptedIds(std::move(acceptedIds)) { }

    void requestFinished(const QueuedRequest& entry, const USBResult& result) override
    {
        QMutexLocker locker(&m_mutex);
        m_finished.append({entry.id, entry.request, entry.receiver.data(), result});
    }
    void workerFailed(const USBResult& result, QPointer<QObject>& errorReceiver) override
    {
        QMutexLocker locker(&m_mutex);
        m_failures.append(qMakePair(result, errorReceiver.data()));
    }
    void packetReceived(int id, QByteArray& data) override
    {
        QMutexLocker locker(&m_mutex);
        m_packets.append(qMakePair(id, data));
    }
    bool acceptsPacket(int id) override { return m_acceptedIds.count(id) > 0; }

    QVector<Finished> finished() const
    {
        QMutexLocker locker(&m_mutex);
        return m_finished;
    }
    QVector<QPair<USBResult, QObject*>> failures() const
    {
        QMutexLocker locker(&m_mutex);
        return m_failures;
    }
    QVector<QPair<int, QByteArray>> packets() const
    {
        QMutexLocker locker(&m_mutex);
        return m_packets;
    }

private:
    const std::set<int> m_acceptedIds;
    mutable QMutex m_mutex;
    QVector<Finished> m_finished;
    QVector<QPair<USBResult, QObject*>> m_failures;
    QVector<QPair<int, QByteArray>> m_packets;
};

// Holds the threads that pass it until it is opened (or their own time-out ends).
class Gate
{
public:
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    // Whether the gate was opened before the time-out.
    bool pass(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_arrivals;
        m_changed.notify_all();
        return m_changed.wait_for(
            lock, std::chrono::milliseconds(timeoutMs), [this] { return m_open; });
    }
    // Whether somebody reached the gate before the time-out.
    bool awaitArrival(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(
            lock, std::chrono::milliseconds(timeoutMs), [this] { return m_arrivals > 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    int m_arrivals = 0;
};

} // namespace TestAsync
