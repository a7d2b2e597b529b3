#include "engines/imaging/PyramidCutter.h"

#include "base/catalogue/OutputLayout.h"

#include "engines/imaging/LevelFeed.h"
#include "engines/imaging/LevelPass.h"
#include "engines/imaging/OverviewPass.h"
#include "engines/imaging/SharedStrips.h"
#include "engines/imaging/StripReader.h"
#include "engines/imaging/TileDB.h"
#include "engines/imaging/TileGrid.h"

#include <tiffio.h>

#include <cmath>
#include <filesystem>
#include <mutex>
#include <thread>

namespace tavrin {

namespace {

constexpr std::uint32_t TileBlockSize = 64;
// One strip decoded ahead of the passes, on a thread of its own: one decode
// for every level leaves the decoder idle most of the time.
constexpr unsigned ReadAheadStrips = 1;
constexpr unsigned Decoders = 1;
// Each level keeps one grid row in work: the levels together keep the cores busy.
constexpr std::uint32_t RowsInWork = 1;

// The share of all tiles stored, from each level's share of its own.
class TPyramidProgress {
public:
    TPyramidProgress(const std::function<void(int)>& report) : Report(report) {}

    // A level of tiles tiles; returns its reporter.
    std::function<void(int)> Level(std::uint64_t tiles)
    {
        const std::size_t index = Shares.size();
        Shares.push_back({tiles, 0});
        Total += tiles;
        return [this, index](int percentage) { Update(index, percentage); };
    }

private:
    void Update(std::size_t index, int percentage)
    {
        if (!Report)
            return;
        std::lock_guard lock(Mutex);
        Shares[index].Percentage = percentage;
        std::uint64_t done = 0;
        for (const TShare& share : Shares)
            done += share.Tiles * std::uint64_t(share.Percentage);
        const int overall = Total > 0 ? static_cast<int>(done / Total) : 100;
        if (overall > Reported) {
            Reported = overall;
            Report(overall);
        }
    }

    struct TShare {
        std::uint64_t Tiles;
        int Percentage;
    };
    const std::function<void(int)>& Report;
    std::mutex Mutex;
    std::vector<TShare> Shares;
    std::uint64_t Total = 0;
    int Reported = 0;
};

// A level on its way: its database under the unfinished name and its pass.
struct TLevelWork {
    std::string FileName;
    TTileGrid Grid;
    bool Scaled = false;
    std::unique_ptr<TTileDB> Database;
    std::unique_ptr<TLevelPass> Pass;
};

// Averages the master once for levels that nest: the level that the most
// others cover in whole multiples of its tiles sums its inner tiles exactly
// and feeds them. Returns the feeds, which must outlive the passes' runs.
std::vector<std::unique_ptr<TLevelFeed>> NestLevels(std::vector<TLevelWork>& levels)
{
    std::vector<std::unique_ptr<TLevelFeed>> best;
    std::vector<std::size_t> bestTakers;
    std::size_t bestGiver = 0;
    for (std::size_t giver = 0; giver < levels.size(); ++giver) {
        if (!levels[giver].Pass || !levels[giver].Scaled)
            continue;
        std::vector<std::unique_ptr<TLevelFeed>> feeds;
        std::vector<std::size_t> takers;
        for (std::size_t taker = 0; taker < levels.size(); ++taker) {
            if (taker == giver || !levels[taker].Pass || !levels[taker].Scaled)
                continue;
            if (auto feed = TLevelFeed::For(levels[giver].Grid, levels[taker].Grid)) {
                feeds.push_back(std::make_unique<TLevelFeed>(std::move(*feed)));
                takers.push_back(taker);
            }
        }
        if (feeds.size() > best.size()) {
            best = std::move(feeds);
            bestTakers = std::move(takers);
            bestGiver = giver;
        }
    }
    std::vector<TLevelFeed*> given;
    for (const auto& feed : best)
        given.push_back(feed.get());
    if (best.empty() || !levels[bestGiver].Pass->Feed(given))
        return {};
    for (std::size_t k = 0; k < best.size(); ++k)
        levels[bestTakers[k]].Pass->FedBy(*best[k]);
    return best;
}

}  // namespace

std::vector<std::exception_ptr> CutPyramid(tiff* master, const TPyramidOrder& order,
                                           const std::function<void(int)>& onProgress, unsigned workers)
{
    if (onProgress)
        onProgress(0);
    const bool withOverview = !order.OverviewFile.empty();
    std::vector<std::exception_ptr> errors(order.Levels.size() + (withOverview ? 1 : 0));
    if (!master)
        return errors;

    // 1. Everything that reads the master's tags, before any strip is decoded.
    std::uint32_t width = 0, height = 0;
    TIFFGetField(master, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(master, TIFFTAG_IMAGELENGTH, &height);
    const TMasterLayout layout = TMasterLayout::Read(master);

    // 2. The outputs' files and passes; an output that cannot start keeps its error.
    TPyramidProgress progress(onProgress);
    std::vector<TLevelWork> levels(order.Levels.size());
    std::vector<std::function<void(TStripSource&)>> passes;
    std::vector<std::function<void()>> passEnds;  // for a pass that never runs
    std::vector<std::size_t> outputOfPass;
    for (std::size_t z = 0; z < order.Levels.size(); ++z) {
        const TPyramidLevel& level = order.Levels[z];
        if (order.TileSize == 0 || !(level.Factor > 0) || !std::isfinite(level.Factor))
            continue;
        try {
            const TTileGrid grid = TTileGrid::For(width, height, order.TileSize, level.Factor);
            levels[z].FileName = level.FileName;
            levels[z].Grid = grid;
            levels[z].Scaled = level.Factor != 1.0;
            levels[z].Database =
                std::make_unique<TTileDB>(UnfinishedName(level.FileName), grid.Columns, grid.Rows, TileBlockSize);
            levels[z].Pass = std::make_unique<TLevelPass>(layout, grid, level.Factor, *levels[z].Database,
                                                          progress.Level(std::uint64_t(grid.Columns) * grid.Rows),
                                                          workers, RowsInWork);
            passes.push_back([pass = levels[z].Pass.get()](TStripSource& strips) { pass->Run(strips); });
            passEnds.push_back([pass = levels[z].Pass.get()] { pass->StopFeeding(); });
            outputOfPass.push_back(z);
        } catch (...) {
            errors[z] = std::current_exception();
        }
    }
    std::unique_ptr<TOverviewPass> overview;
    if (withOverview) {
        try {
            overview = std::make_unique<TOverviewPass>(layout, width, height, order.OverviewFile, order.OverviewFactor);
            passes.push_back([pass = overview.get()](TStripSource& strips) { pass->Run(strips); });
            passEnds.push_back([] {});
            outputOfPass.push_back(order.Levels.size());
        } catch (...) {
            errors.back() = std::current_exception();
        }
    }

    const std::vector<std::unique_ptr<TLevelFeed>> feeds = NestLevels(levels);

    // 3. One decode for all passes, each on a thread of its own.
    if (!passes.empty()) {
        try {
            layout.CheckCopyCanStart();
            TStripReader reader(master, layout, 0, layout.StripCount - 1, workers > 0 ? ReadAheadStrips : 0, Decoders);
            TSharedStrips shared(reader, static_cast<unsigned>(passes.size()));
            std::vector<std::thread> threads;
            for (unsigned p = 0; p < passes.size(); ++p) {
                const auto run = [&, p] {
                    try {
                        passes[p](shared.Pass(p));
                    } catch (...) {
                        errors[outputOfPass[p]] = std::current_exception();
                    }
                    shared.Leave(p);
                };
                try {
                    threads.emplace_back(run);
                } catch (...) {
                    // No thread for this pass: it fails and holds nobody back.
                    errors[outputOfPass[p]] = std::current_exception();
                    passEnds[p]();
                    shared.Leave(p);
                }
            }
            for (std::thread& thread : threads)
                thread.join();
        } catch (...) {
            for (std::size_t output : outputOfPass)
                if (!errors[output])
                    errors[output] = std::current_exception();
        }
    }

    // 4. Complete the levels that were cut, remove what any other left.
    for (std::size_t z = 0; z < levels.size(); ++z) {
        if (!levels[z].Database)
            continue;
        try {
            if (!errors[z]) {
                levels[z].Database->Close();
                levels[z].Database.reset();
                CompleteUnfinished(levels[z].FileName);
            }
        } catch (...) {
            errors[z] = std::current_exception();
        }
        levels[z].Database.reset();
        if (errors[z]) {
            std::error_code ignored;
            std::filesystem::remove(UnfinishedName(levels[z].FileName), ignored);
        }
    }
    return errors;
}

}  // namespace tavrin
