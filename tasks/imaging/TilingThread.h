#pragma once

#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskThread.h"

#include "base/catalogue/ProofRounds.h"
#include "engines/web/ProofRoundScript.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// The Web task: a later round is first compared with its earlier one page
// by page (a log line per page as tavrin-cli compare prints it), and each
// changed page with an area gets change map databases (ChangeMap.h); a round
// that cannot be compared (its earlier job is no longer catalogued, or a
// round was mastered before plate digests were kept) is built without a
// compare, the log saying why. Then, for each page 1 to the job's page
// count, a tile pyramid of five zoom levels from its master, one tile
// database per level ("tile" + level + "-NNNN.tdb" in the job folder); then
// the stored compare, and the job's web proof pages with their data scripts,
// the round's (rounds.js) among them.
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
    std::optional<std::vector<TPageComparison>> CompareWithEarlierRound(const TProofRound& round,
                                                                        const std::string& jobFolder,
                                                                        const std::vector<double>& factors,
                                                                        TProofRoundData& data);

    const TTaskContext Context;
};

}  // namespace tavrin
