#include "platform/session_end.h"

#include "platform/interrupt.h"

#include <QSocketNotifier>

#include <unistd.h>

SessionEnd::SessionEnd(QObject *parent) : QObject(parent)
{
    installInterruptHandlers(OnInterrupt::Record);
    if (interruptDescriptor() < 0)
        return;
    auto *notifier = new QSocketNotifier(interruptDescriptor(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        const ssize_t got = ::read(interruptDescriptor(), bytes, sizeof bytes);
        for (ssize_t i = 0; i < got; ++i)
            emit endRequested();
    });
}

void preferX11Session()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}
