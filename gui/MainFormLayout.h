#pragma once

#include "base/settings/SettingsRecord.h"

#include <QSize>

namespace tavrin {

// The main window's measures, in pixels at the design's font, and the rule
// that shares its width between the two page controls.
namespace MainFormLayout {

// The size the stored window bounds stand in for when they hold none.
constexpr int DesignWidth = TWindowBounds::DesignWidth;
constexpr int DesignHeight = TWindowBounds::DesignHeight;
// The empty strip across the top.
constexpr int TopStripHeight = 17;
// The page controls' height at the design's font; a larger font gets more.
constexpr int PageControlHeight = 555;
// The room kept right of the queue's page control and beside the queue's columns.
constexpr int Gutter = 12;
// The strip below with the two progress bars, and each bar's least height
// (the bars carry their words: as high as the font needs, never lower).
constexpr int ProgressStripHeight = 36;
constexpr int ProgressBarHeight = 17;

// The columns of the two page controls in a window of the given outer width
// (frame included): the inputs from the left edge, the queue's side right
// of them up to the gutter. Half and half, unless the queue's side needs more.
struct TPageControlColumns {
    int InputsWidth = 0;
    int MainLeft = 0;
    int MainWidth = 0;
};
TPageControlColumns PageControlColumns(int outerWidth, int mainMinimumWidth);

// The area the page controls need side by side at the desktop's font, and
// at least the design's height.
QSize PageControlAreaMinimum(QSize inputsMinimum, QSize mainMinimum);

// The width the window opens with: at least the design's, and enough for the
// queue's side to have its preferred width as half the window.
int OpeningWidth(int mainPreferredWidth);

}  // namespace MainFormLayout
}  // namespace tavrin
