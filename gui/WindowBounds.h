#pragma once

#include "base/settings/SettingsRecord.h"

class QWidget;

namespace tavrin {

// Applies stored outer bounds to a top-level window: each bound that is not
// -1 replaces the present one (the size the window has from its contents,
// at least the design's 1029 x 666; the position the window system chose).
// The size gives way to the room of the window's screen.
void ApplyWindowBounds(QWidget& window, const TWindowBounds& bounds);

// The window's present outer bounds.
TWindowBounds CurrentWindowBounds(const QWidget& window);

}  // namespace tavrin
