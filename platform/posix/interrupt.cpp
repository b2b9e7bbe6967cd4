#include "platform/interrupt.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t receivedSignal = 0;
int wakePipe[2] = {-1, -1};

extern "C" void recordSignal(int signal)
{
    receivedSignal = signal;
    if (wakePipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
    }
}

} // namespace

void installInterruptHandlers()
{
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        wakePipe[0] = wakePipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = recordSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void reportFileSizeLimitAsError()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

int pendingInterrupt()
{
    return receivedSignal;
}

int interruptDescriptor()
{
    return wakePipe[0];
}

void endByInterrupt(int signal)
{
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}
