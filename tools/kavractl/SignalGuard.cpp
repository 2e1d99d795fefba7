#include "SignalGuard.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void interrupt(int)
{
    g_interrupted = 1;
}

} // namespace

SignalGuard::SignalGuard()
{
    g_interrupted = 0;
    m_previousInt = std::signal(SIGINT, interrupt);
    m_previousTerm = std::signal(SIGTERM, interrupt);
}

SignalGuard::~SignalGuard()
{
    std::signal(SIGINT, m_previousInt);
    std::signal(SIGTERM, m_previousTerm);
}

bool SignalGuard::interrupted()
{
    return g_interrupted != 0;
}
