#include "gui/DesktopNotifier.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStyle>
#include <QSystemTrayIcon>

namespace tavrin {

namespace {

constexpr const char* NotificationsService = "org.freedesktop.Notifications";

class TFreedesktopNotifier final : public TDesktopNotifier {
public:
    void Notify(const QString& title, const QString& text) override
    {
        QDBusMessage call = QDBusMessage::createMethodCall(NotificationsService, "/org/freedesktop/Notifications",
                                                           NotificationsService, "Notify");
        // Application name, no id to replace, no icon, summary, body, no
        // actions, no hints, the server's own timeout.
        call << QApplication::applicationName() << 0u << QString() << title << text << QStringList() << QVariantMap()
             << -1;
        // Not waited for: the window goes on whether or not the desktop shows it.
        QDBusConnection::sessionBus().send(call);
    }
};

class TTrayNotifier final : public TDesktopNotifier {
public:
    TTrayNotifier()
        : Icon(QApplication::windowIcon().isNull()
                   ? QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation)
                   : QApplication::windowIcon())
    {
        Icon.show();
    }
    void Notify(const QString& title, const QString& text) override { Icon.showMessage(title, text); }

private:
    QSystemTrayIcon Icon;
};

class TSilentNotifier final : public TDesktopNotifier {
public:
    void Notify(const QString&, const QString&) override {}
};

// Only a session bus that is there already: asking for one where there is
// none may start a bus daemon nobody stops.
bool HasSessionBus()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") ||
           (!runtime.isEmpty() && QFileInfo::exists(runtime + "/bus"));
}

}  // namespace

std::unique_ptr<TDesktopNotifier> NewDesktopNotifier()
{
    if (!HasSessionBus())
        return QSystemTrayIcon::isSystemTrayAvailable() ? std::unique_ptr<TDesktopNotifier>(new TTrayNotifier)
                                                        : std::make_unique<TSilentNotifier>();
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(NotificationsService))
        return std::make_unique<TFreedesktopNotifier>();
    if (QSystemTrayIcon::isSystemTrayAvailable())
        return std::make_unique<TTrayNotifier>();
    return std::make_unique<TSilentNotifier>();
}

}  // namespace tavrin
