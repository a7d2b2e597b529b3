#pragma once

#include "base/platform/MessageTarget.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace tavrin {

// A message target whose queue the main thread pumps itself: the transport of
// the command-line front end and of the tests. Posting never blocks on the
// handler; the pump runs each handler on the calling thread.
class TMessageQueue final : public TMessageTarget {
public:
    void Post(TTaskMessage message) override;

    // Delivers every message already queued; returns how many were handled.
    int PumpPending(TMessageHandler& handler);

    // Waits up to the timeout for one message and delivers it; false when none came.
    bool PumpOne(TMessageHandler& handler, std::chrono::milliseconds timeout);

    // Delivers messages until done() holds after a delivery, or the timeout
    // passes without a message. Returns done().
    bool PumpUntil(TMessageHandler& handler, const std::function<bool()>& done, std::chrono::milliseconds idleTimeout);

private:
    bool TakeOne(TTaskMessage& message, std::chrono::milliseconds timeout);

    std::mutex Mutex;
    std::condition_variable Arrived;
    std::deque<TTaskMessage> Pending;
};

}  // namespace tavrin
