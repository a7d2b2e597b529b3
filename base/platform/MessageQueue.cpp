#include "base/platform/MessageQueue.h"

namespace tavrin {

void TMessageQueue::Post(TTaskMessage message)
{
    {
        std::lock_guard lock(Mutex);
        Pending.push_back(std::move(message));
    }
    Arrived.notify_one();
}

bool TMessageQueue::TakeOne(TTaskMessage& message, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(Mutex);
    if (!Arrived.wait_for(lock, timeout, [this] { return !Pending.empty(); }))
        return false;
    message = std::move(Pending.front());
    Pending.pop_front();
    return true;
}

int TMessageQueue::PumpPending(TMessageHandler& handler)
{
    int handled = 0;
    TTaskMessage message;
    while (TakeOne(message, std::chrono::milliseconds(0))) {
        handler.HandleMessage(std::move(message));
        ++handled;
    }
    return handled;
}

bool TMessageQueue::PumpOne(TMessageHandler& handler, std::chrono::milliseconds timeout)
{
    TTaskMessage message;
    if (!TakeOne(message, timeout))
        return false;
    handler.HandleMessage(std::move(message));
    return true;
}

bool TMessageQueue::PumpUntil(TMessageHandler& handler, const std::function<bool()>& done,
                              std::chrono::milliseconds idleTimeout)
{
    while (!done()) {
        if (!PumpOne(handler, idleTimeout))
            return done();
    }
    return true;
}

}  // namespace tavrin
