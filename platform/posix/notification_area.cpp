#include "platform/notification_area.h"

#include <QSystemTrayIcon>

namespace {

// Qt's tray icon reports activations; they become the classic messages. They are handed on from
// the event loop, not from inside the icon's own mouse handling: what the window does with one
// (a menu whose Quit removes the icon) may destroy the very widget that reported it.
class TrayIcon : public NotificationArea
{
public:
    TrayIcon()
    {
        QObject::connect(
            &icon_, &QSystemTrayIcon::activated, &icon_,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (!onMessage)
                    return;
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                case QSystemTrayIcon::DoubleClick:
                    onMessage(kIconLeftButtonUp);
                    break;
                case QSystemTrayIcon::Context:
                    onMessage(kIconRightButtonUp);
                    break;
                default:
                    onMessage(kIconOther);
                }
            },
            Qt::QueuedConnection);
    }

    bool available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    // Shown even where no notification area is there yet (a panel started after the program):
    // Qt puts the icon in one as soon as it appears.
    void add(const QIcon &icon, const QString &tip) override
    {
        icon_.setIcon(icon);
        icon_.setToolTip(tip);
        icon_.show();
    }
    void remove() override { icon_.hide(); }
    bool shown() const override { return icon_.isVisible() && available(); }
    void setState(const QIcon &icon, const QString &tip) override
    {
        icon_.setIcon(icon);
        icon_.setToolTip(tip);
    }
    void notify(const QString &title, const QString &text, bool failure) override
    {
        icon_.showMessage(
            title, text, failure ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information, 10000);
    }

private:
    QSystemTrayIcon icon_;
};

} // namespace

std::unique_ptr<NotificationArea> makeNotificationArea()
{
    return std::make_unique<TrayIcon>();
}
