#pragma once

#include "base/settings/SettingsRecord.h"

class QWidget;

namespace tavrin {

// Applies stored outer bounds to a top-level window: each bound that is not
// -1 replaces the design value (the main window's outer size 1029 x 666, the
// position the window system chose).
void ApplyWindowBounds(QWidget& window, const TWindowBounds& bounds);

// The window's present outer bounds.
TWindowBounds CurrentWindowBounds(const QWidget& window);

}  // namespace tavrin
