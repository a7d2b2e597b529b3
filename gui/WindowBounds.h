#pragma once

#include "shell/SettingsRecord.h"

class QWidget;

namespace tavrin {

// Applies stored outer bounds to a top-level window: each bound that is not
// -1 replaces the window's present value.
void ApplyWindowBounds(QWidget& window, const TWindowBounds& bounds);

// The window's present outer bounds.
TWindowBounds CurrentWindowBounds(const QWidget& window);

}  // namespace tavrin
