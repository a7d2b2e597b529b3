#pragma once

#include "base/platform/TaskMessage.h"

namespace tavrin {

// Receives what worker threads post. Post may be called from any thread and
// returns at once; the implementation delivers the messages on the main
// thread, one at a time, in the order they were posted.
class TMessageTarget {
public:
    virtual ~TMessageTarget() = default;
    virtual void Post(TTaskMessage message) = 0;
};

// Handles delivered messages on the main thread.
class TMessageHandler {
public:
    virtual ~TMessageHandler() = default;
    virtual void HandleMessage(TTaskMessage message) = 0;
};

}  // namespace tavrin
