#include "platform/interrupt.h"

#include <csignal>
#include <cstdlib>
#include <initializer_list>

namespace {

volatile std::sig_atomic_t receivedSignal = 0;

extern "C" void recordSignal(int signal)
{
    receivedSignal = signal;
}

} // namespace

void installInterruptHandlers()
{
    struct sigaction action {};
    action.sa_handler = recordSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

int pendingInterrupt()
{
    return receivedSignal;
}

void endByInterrupt(int signal)
{
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}
