#pragma once

#include <QSize>

class QWidget;

namespace tavrin {

// The room the window's screen leaves for windows, in the desktop's
// logical pixels (what the window's sizes are measured in at any scale).
QSize AvailableRoom(const QWidget& window);

// Sizes a top-level window from its contents at the desktop's font and scale:
// at least its design size and what its layout asks for, but never beyond
// the room its screen leaves (a design size too large for the screen gives
// way). The operator may make it smaller, down to what its contents need.
void FitToContents(QWidget& window, QSize designSize);

}  // namespace tavrin
