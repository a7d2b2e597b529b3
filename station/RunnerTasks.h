#pragma once

#include "base/platform/MessageTarget.h"
#include "station/JobChain.h"
#include "station/TaskKinds.h"

#include <cstdint>
#include <set>
#include <utility>

namespace tavrin {

class TCatalogueConnection;
class TSharedSettings;

// What the runner's parts share to run their tasks beside each other: the
// target the tasks post to, the table through which they are made, the
// maker of each task's context, the station's catalogue and settings, the
// threads while they run, and whether the station is closing (then no part
// starts another task).
struct TRunnerTasks {
    TRunnerTasks(TMessageTarget& target, TTaskKinds kinds, TTaskContextMaker newContext,
                 TCatalogueConnection& catalogue, const TSharedSettings& settings)
        : Target(target), Kinds(std::move(kinds)), NewContext(std::move(newContext)), Catalogue(catalogue),
          Settings(settings)
    {
    }

    // Whether a chain task, a deletion or a fetch of answers runs.
    bool Busy() const { return !Running.Empty(); }

    TMessageTarget& Target;
    TTaskKinds Kinds;
    TTaskContextMaker NewContext;
    TCatalogueConnection& Catalogue;
    const TSharedSettings& Settings;
    TRunningTasks Running;
    // The jobs whose files a deletion task is removing: the post queue
    // shows them so, and the station waits for them before it closes.
    std::multiset<std::uint32_t> Deleting;
    bool Closing = false;
};

}  // namespace tavrin
