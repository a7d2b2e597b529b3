#include "gui/WindowFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tavrin {

QSize AvailableRoom(const QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    // The frame the window system adds takes room too.
    const QSize frame = window.frameGeometry().size() - window.size();
    return screen->availableGeometry().size() - frame;
}

void FitToContents(QWidget& window, QSize designSize)
{
    const QSize room = AvailableRoom(window);
    const QSize needed = window.minimumSizeHint();
    window.setMinimumSize(needed.boundedTo(room));
    window.resize(designSize.expandedTo(needed).expandedTo(window.sizeHint()).boundedTo(room));
}

}  // namespace tavrin
