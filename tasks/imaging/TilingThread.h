#pragma once

#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskThread.h"

#include <cstdint>
#include <string>

namespace tavrin {

// The Web task: for each page 1 to the job's page count, a tile pyramid of
// five zoom levels from its master, one tile database per level ("tile" +
// level + "-NNNN.tdb" in the job folder); then the job's web proof pages.
// First it removes the job's proof pages and unfinished files; every file is
// written under its unfinished name until whole. It fails, naming the page
// or file and the reason, for a job not in the catalogue, a page without a
// master, a master that cannot be opened or read, or a file that cannot be
// written; that page is left without tile databases and the job without
// proof pages. Reports total and task progress, and always ends with
// WM_WEB_DONE.
class TTilingThread final : public TTaskThread {
public:
    TTilingThread(TMessageTarget& target, const TTaskContext& context);

    static constexpr int LevelCount = 5;

    // The tile database of one zoom level of a page, in the job folder.
    static std::string TileDatabaseName(int level, int page);

protected:
    void Run() override;

private:
    const TTaskContext Context;
};

}  // namespace tavrin
