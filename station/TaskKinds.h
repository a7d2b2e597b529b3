#pragma once

#include "base/platform/MessageTarget.h"
#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskSets.h"
#include "base/tasking/TaskThread.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tavrin {

// Makes the thread object of one task for the context's job, not yet started.
using TTaskFactory = std::function<std::unique_ptr<TTaskThread>(TMessageTarget& target, const TTaskContext& context)>;

// Makes the thread that fetches the customers' answers of these jobs.
using TAnswersFactory = std::function<std::unique_ptr<TTaskThread>(TMessageTarget& target, const TTaskContext& context,
                                                                   const std::vector<std::uint32_t>& jobs)>;

// Makes the thread that sends the reminders of these jobs.
using TRemindersFactory = TAnswersFactory;

// Makes the context of a chain, a deletion or a fetch about the job (0 for
// several jobs): the settings as they are now and the station's catalogue.
using TTaskContextMaker = std::function<TTaskContext(std::uint32_t jobReference)>;

// The table through which the runner creates tasks: one factory per task of
// the chain, one for the deletion task, one for fetching answers and one for
// sending reminders. A
// missing factory means that this build cannot run the task.
struct TTaskKinds {
    std::array<TTaskFactory, TaskCount> Chain;
    TTaskFactory Deletion;
    TAnswersFactory Answers;
    TRemindersFactory Reminders;
};

// The station's own tasks.
TTaskKinds StationTaskKinds();

}  // namespace tavrin
