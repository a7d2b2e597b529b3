#include "base/platform/ProcessPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

namespace tavrin {

bool SetProcessIdlePriority()
{
    return setpriority(PRIO_PROCESS, 0, 19) == 0;
}

bool SetCurrentThreadIdlePriority()
{
    sched_param parameters{};
    parameters.sched_priority = 0;
    return pthread_setschedparam(pthread_self(), SCHED_IDLE, &parameters) == 0;
}

}  // namespace tavrin
