#include "base/tasking/TaskSets.h"

namespace tavrin {

int ExactTaskSetLevel(const std::string& taskSet)
{
    for (int level = 0; level < TaskCount; ++level)
        if (TaskSetTexts[static_cast<std::size_t>(level)] == taskSet)
            return level;
    return -1;
}

int TaskSetLevel(const std::string& taskSet)
{
    const int level = ExactTaskSetLevel(taskSet);
    return level < 0 ? NotifyTask : level;
}

bool TaskSetNames(const std::string& taskSet, TTaskIndex task)
{
    return taskSet.find(TaskWords[static_cast<std::size_t>(task)]) != std::string::npos;
}

}  // namespace tavrin
