#pragma once

#include "base/platform/MessageQueue.h"
#include "base/platform/WorkerThread.h"

#include <cstdio>
#include <string>

namespace tavrin::bench {

// Waits for a task's completion message on a queue pumped by the benchmark:
// releases the task and prints log texts that tell of a failure.
struct TCompletion final : TMessageHandler {
    bool Done = false;
    void HandleMessage(TTaskMessage message) override
    {
        if (message.IsCompletion()) {
            TWorkerThread::Release(message.Thread);
            Done = true;
        } else if (message.Text && !message.Text->empty() && message.Text->find("failed") != std::string::npos) {
            std::fprintf(stderr, "%s\n", message.Text->c_str());
        }
    }
};

}  // namespace tavrin::bench
