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
    };
    struct Failure
    {
        int errorCode;
        USBResult result;
    };

    explicit RecordingReceiver(EventTally* tally = nullptr) : m_tally(tally) { }

    bool event(QEvent* event) override
    {
        switch (static_cast<int>(event->type())) {
        case USBRequestEvent::EventType:
            if (auto* e = counted(dynamic_cast<USBRequestEvent*>(event)))
                finished.append({e->request(), e->result()});
            return true;
        case USBPacketStreamEvent::EventType:
            if (auto* e = counted(dynamic_cast<USBPacketStreamEvent*>(event)))
                streams.append({e->id(), e->data()});
            return true;
        case USBPacketErrorEvent::EventType:
            if (auto* e = counted(dynamic_cast<USBPacketErrorEvent*>(event)))
                failures.append({e->errorCode(), e->result()});
            return true;
        default:
            return QObject::event(event);
        }
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
    template <class Event> Event* counted(Event* matched)
    {
        if (m_tally)
            ++(matched ? m_tally->events : m_tally->mismatched);
        return matched;
    }

    EventTally* m_tally;
};

// Records the observer calls, which the worker makes from its own thread. With callBack set, it
// also calls back into that protocol from the worker, as an observer may.
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
    struct Log
    {
        QVector<Finished> finished;
        QVector<QPair<USBResult, QObject*>> failures;
        QVector<QPair<int, QByteArray>> packets;
    };

    explicit RecordingObserver(std::set<int> acceptedIds)
        : m_acceptedIds(std::move(acceptedIds)) { }

    void requestFinished(const QueuedRequest& entry, const USBResult& result) override
    {
        if (callBack) {
            // Each would wait for the worker that is calling.
            callBack->waitForIdle();
            callBack->setPoller(nullptr);
            callBack->stopWorker();
        }
        QMutexLocker locker(&m_mutex);
        m_log.finished.append({entry.id, entry.request, entry.receiver.data(), result});
    }
    void workerFailed(const USBResult& result, QPointer<QObject>& errorReceiver) override
    {
        QMutexLocker locker(&m_mutex);
        m_log.failures.append(qMakePair(result, errorReceiver.data()));
    }
    void packetReceived(int id, QByteArray& data) override
    {
        QMutexLocker locker(&m_mutex);
        m_log.packets.append(qMakePair(id, data));
    }
    bool acceptsPacket(int id) override { return m_acceptedIds.count(id) > 0; }

    Log log() const
    {
        QMutexLocker locker(&m_mutex);
        return m_log;
    }

    USBPacketProtocol* callBack = nullptr;

private:
    const std::set<int> m_acceptedIds;
    mutable QMutex m_mutex;
    Log m_log;
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
