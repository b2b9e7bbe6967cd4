#include "platform/interrupt.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <iterator>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t receivedSignal = 0;
volatile std::sig_atomic_t endAtOnce = 0;
volatile std::sig_atomic_t exitStatus = -1;
int wakePipe[2] = {-1, -1};

struct TemporaryFile {
    volatile std::sig_atomic_t used = 0;
    int dirFd = -1;
    char name[256] = {};
};
TemporaryFile temporaryFiles[16];

sigset_t interruptSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kSignals)
        sigaddset(&set, signal);
    return set;
}

// Only async-signal-safe calls here.
extern "C" void onInterrupt(int signal)
{
    receivedSignal = signal;
    if (wakePipe[1] >= 0) {
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
        errno = saved;
    }
    if (!endAtOnce)
        return;
    for (const TemporaryFile &file : temporaryFiles) {
        if (file.used)
            ::unlinkat(file.dirFd, file.name, 0);
    }
    if (exitStatus >= 0)
        ::_exit(exitStatus);
    endByInterrupt(signal);
}

extern "C" void onBrokenPipe(int)
{}

} // namespace

void installInterruptHandlers(OnInterrupt what)
{
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        wakePipe[0] = wakePipe[1] = -1;
    endAtOnce = what == OnInterrupt::EndAtOnce;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

int pendingInterrupt()
{
    return receivedSignal;
}

int interruptDescriptor()
{
    return wakePipe[0];
}

bool interruptWaiting()
{
    pollfd waiting{wakePipe[0], POLLIN, 0};
    return wakePipe[0] >= 0 && ::poll(&waiting, 1, 0) == 1;
}

void setInterruptExitStatus(int status)
{
    exitStatus = status;
}

void endByInterrupt(int signal)
{
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

void reportFileSizeLimitAsError()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

void reportBrokenPipeAsError()
{
    struct sigaction action {};
    action.sa_handler = onBrokenPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &action, nullptr);
}

int registerTemporaryFile(int dirFd, const char *name)
{
    if (std::strlen(name) >= sizeof TemporaryFile::name)
        return -1;
    const InterruptsHeld held;
    for (int slot = 0; slot < int(std::size(temporaryFiles)); ++slot) {
        TemporaryFile &file = temporaryFiles[slot];
        if (file.used)
            continue;
        file.dirFd = dirFd;
        std::strcpy(file.name, name);
        file.used = 1;
        return slot;
    }
    return -1;
}

void unregisterTemporaryFile(int slot)
{
    if (slot < 0)
        return;
    const InterruptsHeld held;
    temporaryFiles[slot].used = 0;
}

InterruptsHeld::InterruptsHeld()
{
    static_assert(sizeof old_ >= sizeof(sigset_t));
    const sigset_t held = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &held, reinterpret_cast<sigset_t *>(old_));
}

InterruptsHeld::~InterruptsHeld()
{
    pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t *>(old_), nullptr);
}
