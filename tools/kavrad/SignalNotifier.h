#ifndef KAVRAD_SIGNALNOTIFIER_H
#define KAVRAD_SIGNALNOTIFIER_H

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal in the event loop: the handler only writes the
// signal's number into a pipe, whose other end a socket notifier watches. On Windows, the
// console's Ctrl+C and Ctrl+Break arrive as SIGINT and its close, log-off and shut-down events as
// SIGTERM, posted to the event loop from the thread the system runs the handler on. One instance
// at a time.
class SignalNotifier : public QObject
{
    Q_OBJECT

public:
    explicit SignalNotifier(QObject* parent = nullptr);
    ~SignalNotifier() override;
    SignalNotifier(const SignalNotifier&) = delete;
    SignalNotifier& operator=(const SignalNotifier&) = delete;

Q_SIGNALS:
    void received(int signal);

private:
#ifndef _WIN32
    void readPipe();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previousInt
    { };
    struct sigaction m_previousTerm
    { };
#endif
};

#endif
