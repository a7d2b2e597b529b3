#pragma once

#include "base/platform/MessageTarget.h"
#include "base/settings/SettingsRecord.h"
#include "base/tasking/TaskSets.h"
#include "base/tasking/TaskThread.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tavrin {

// Makes the thread object of one task for a job, not yet started. The
// settings are a copy taken when the task is created.
using TTaskFactory = std::function<std::unique_ptr<TTaskThread>(TMessageTarget& target, std::uint32_t jobReference,
                                                                const TSettingsRecord& settings)>;

// Makes the thread that fetches the customers' answers of these jobs.
using TAnswersFactory =
    std::function<std::unique_ptr<TTaskThread>(TMessageTarget& target, const std::vector<std::uint32_t>& jobs)>;

// The table through which the runner creates tasks: one factory per task of
// the chain, one for the deletion task and one for fetching answers. A
// missing factory means that this build cannot run the task.
struct TTaskKinds {
    std::array<TTaskFactory, TaskCount> Chain;
    TTaskFactory Deletion;
    TAnswersFactory Answers;
};

// The station's own tasks.
TTaskKinds StationTaskKinds();

}  // namespace tavrin
