#include "SignalNotifier.h"

#ifdef _WIN32

#include <QMetaObject>

#include <mutex>

#include <windows.h>

namespace {

// Guards the instance against its destruction while the system's thread posts to it.
std::mutex g_mutex;
SignalNotifier* g_instance = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    {
        std::lock_guard<std::mutex> locker(g_mutex);
        if (!g_instance)
            return FALSE;
        SignalNotifier* notifier = g_instance;
        const int number = interrupt ? SIGINT : SIGTERM;
        QMetaObject::invokeMethod(
            notifier, [notifier, number] { Q_EMIT notifier->received(number); },
            Qt::QueuedConnection);
    }
    // Closing the console or shutting down ends the process as soon as this returns: this thread
    // stays here so that the server shuts down in order, until the process ends (Windows ends it
    // after a few seconds at the latest).
    if (!interrupt)
        Sleep(INFINITE);
    return TRUE;
}

} // namespace

SignalNotifier::SignalNotifier(QObject* parent) : QObject(parent)
{
    {
        std::lock_guard<std::mutex> locker(g_mutex);
        g_instance = this;
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

SignalNotifier::~SignalNotifier()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    std::lock_guard<std::mutex> locker(g_mutex);
    g_instance = nullptr;
}

#else

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_writeEnd = -1;

void onSignal(int signal)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // Nothing else is safe in a handler; a full pipe already holds a wake-up.
    const ssize_t written = ::write(g_writeEnd, &number, 1);
    static_cast<void>(written);
    errno = savedErrno;
}

} // namespace

SignalNotifier::SignalNotifier(QObject* parent) : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        qFatal("kavrad: cannot create the signal pipe");
    g_writeEnd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalNotifier::readPipe);

    struct sigaction action
    { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_previousInt);
    sigaction(SIGTERM, &action, &m_previousTerm);
}

SignalNotifier::~SignalNotifier()
{
    sigaction(SIGINT, &m_previousInt, nullptr);
    sigaction(SIGTERM, &m_previousTerm, nullptr);
    g_writeEnd = -1;
    m_notifier->setEnabled(false);
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void SignalNotifier::readPipe()
{
    unsigned char number = 0;
    while (::read(m_pipe[0], &number, 1) == 1)
        Q_EMIT received(number);
}

#endif
