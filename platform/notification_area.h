#pragma once

#include <QIcon>
#include <QString>

#include <functional>
#include <memory>

// The desktop's notification area: one icon with a tip, and what the user does to it. The
// messages are those of the classic facility, so that the window's handler reads the same
// whatever the desktop: a left-button release (a click, and each click of a double click), a
// right-button release (the desktop's request for the icon's menu), anything else.
enum : int {
    kIconLeftButtonDown = 0x201,
    kIconLeftButtonUp = 0x202,
    kIconRightButtonUp = 0x205,
    kIconOther = 0x200,
};

class NotificationArea
{
public:
    virtual ~NotificationArea() = default;
    // Whether this desktop has a notification area now.
    virtual bool available() const = 0;
    // Puts the icon in the notification area, now or as soon as one appears.
    virtual void add(const QIcon &icon, const QString &tip) = 0;
    virtual void remove() = 0;
    // Whether the icon stands in a notification area now.
    virtual bool shown() const = 0;
    // Another icon or tip for the icon added (a state: the last list made, a failure).
    virtual void setState(const QIcon &icon, const QString &tip) = 0;
    // A desktop notification from the icon, which goes by itself: nothing waits on it.
    virtual void notify(const QString &title, const QString &text, bool failure) = 0;

    // Receives each message for the icon.
    std::function<void(int message)> onMessage;
};

std::unique_ptr<NotificationArea> makeNotificationArea();
