#pragma once

#include "shell/TaskThread.h"

#include <cstdint>
#include <string>

namespace tavrin {

// The Web task: for every page that has a master, a tile pyramid of five
// zoom levels, one tile database per level ("tile" + level + "-NNNN.tdb" in
// the job folder); then the job's web proof pages. The page loop stops at
// the first page without a master. Reports total and task progress, and
// always ends with WM_WEB_DONE. A tile database that cannot be written is
// logged with its reason and the task goes on with the next level.
class TTilingThread final : public TTaskThread {
public:
    TTilingThread(TMessageTarget& target, std::uint32_t jobReference);

    // Pixels on each side of a tile.
    static constexpr std::uint32_t TileSize = 288;
    static constexpr int LevelCount = 5;

    // The tile database of one zoom level of a page, in the job folder.
    static std::string TileDatabaseName(int level, int page);

protected:
    void Run() override;
};

}  // namespace tavrin
