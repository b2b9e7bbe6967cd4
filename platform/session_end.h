#pragma once

#include <QObject>

// Tells when the system or the session asks the program to end (SIGTERM, SIGHUP, SIGINT), as a
// signal delivered by the event loop, where the program can close as the user would. Each
// request is told: a program already closing may take a second one as "now".
class SessionEnd : public QObject
{
    Q_OBJECT

public:
    explicit SessionEnd(QObject *parent = nullptr);

signals:
    void endRequested();
};

// Before the application starts: on a Wayland desktop with XWayland, take the X11 way (xcb),
// where centring windows, activating them and the notification area work as designed.
void preferX11Session();
