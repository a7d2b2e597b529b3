#pragma once

#include <QString>

#include <memory>

namespace tavrin {

// Tells the operator something worth a look while the window may be hidden
// behind others: a desktop notification where the desktop offers one.
class TDesktopNotifier {
public:
    virtual ~TDesktopNotifier() = default;
    virtual void Notify(const QString& title, const QString& text) = 0;
};

// The desktop's own: org.freedesktop.Notifications on the session bus, else
// the system tray's balloon; with neither (a bare X display, the offscreen
// platform) nothing, and no error.
std::unique_ptr<TDesktopNotifier> NewDesktopNotifier();

}  // namespace tavrin
