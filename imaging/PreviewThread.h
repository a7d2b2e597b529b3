#pragma once

#include "shell/TaskThread.h"

#include <cstdint>

namespace tavrin {

// The preview task: writes the overview picture of every page that has a
// master, "overview-NNNN.png" in the job folder, its larger side 288 pixels.
// The page loop stops at the first page without a master. Reports total and
// task progress, and always ends with WM_PREVIEW_DONE; a failure is logged
// with its reason first.
class TPreviewThread final : public TTaskThread {
public:
    TPreviewThread(TMessageTarget& target, std::uint32_t jobReference);

    // The overview's larger side in pixels.
    static constexpr double OverviewSize = 288.0;

protected:
    void Run() override;
};

}  // namespace tavrin
