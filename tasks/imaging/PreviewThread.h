#pragma once

#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskThread.h"

#include <cstdint>

namespace tavrin {

// The preview task: writes the overview picture of each page 1 to the job's
// page count from its master, "overview-NNNN.png" in the job folder, its
// larger side 288 pixels, under its unfinished name until whole. First it
// removes the job's unfinished files. It fails, naming the page or file, for
// a job not in the catalogue, a page without a master, or a master that
// cannot be opened or read; that page is left without an overview. Reports
// total and task progress, and always ends with WM_PREVIEW_DONE.
class TPreviewThread final : public TTaskThread {
public:
    TPreviewThread(TMessageTarget& target, const TTaskContext& context);

    // The overview's larger side in pixels: the side of the main window's
    // preview panel, which shows it whole. The same number as the tile side,
    // but not the same quantity: a tile is cut from a zoom level, the
    // overview is the whole page.
    static constexpr double OverviewSize = 288.0;

protected:
    void Run() override;

private:
    const TTaskContext Context;
};

}  // namespace tavrin
