#ifndef KAVRACTL_SIGNALGUARD_H
#define KAVRACTL_SIGNALGUARD_H

// Catches SIGINT and SIGTERM while it lives, so that a long-running command can end between
// library calls (and close the session) instead of dying in the middle of an exchange.
// The previous handlers return when it is destroyed.
class SignalGuard
{
public:
    SignalGuard();
    ~SignalGuard();
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;

    // True once a signal arrived since the guard was set up.
    static bool interrupted();

private:
    void (*m_previousInt)(int);
    void (*m_previousTerm)(int);
};

#endif
