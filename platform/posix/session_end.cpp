#include "platform/session_end.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int wakeFd[2] = {-1, -1};

extern "C" void wakeUp(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd[0], &byte, 1);
}

} // namespace

class SessionEnd::Private
{
public:
    QSocketNotifier *notifier = nullptr;
};

SessionEnd::SessionEnd(QObject *parent) : QObject(parent), d_(new Private)
{
    if (wakeFd[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeFd) != 0)
        return;
    ::fcntl(wakeFd[0], F_SETFL, O_NONBLOCK);
    d_->notifier = new QSocketNotifier(wakeFd[1], QSocketNotifier::Read, this);
    connect(d_->notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        [[maybe_unused]] const ssize_t read = ::read(wakeFd[1], bytes, sizeof bytes);
        emit endRequested();
    });
    struct sigaction action {};
    action.sa_handler = wakeUp;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signal, &action, nullptr);
}

SessionEnd::~SessionEnd()
{
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        std::signal(signal, SIG_DFL);
    delete d_;
}

void preferX11Session()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}
