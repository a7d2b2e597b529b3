#pragma once

#include <thread>

namespace tavrin {

// A worker thread object: created suspended, given its fields, then started.
// The thread runs Execute at idle scheduling priority. The object does not
// free itself; whoever handles its completion releases it with Release, which
// waits for the thread to end first.
class TWorkerThread {
public:
    TWorkerThread() = default;
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;
    virtual ~TWorkerThread();

    // Starts the thread; call once, after every field is set.
    void Start();

    // Waits until the thread has ended; harmless when it never started.
    void WaitFor();

    // Waits for the thread, then deletes the object. Null is ignored.
    static void Release(TWorkerThread* thread);

protected:
    virtual void Execute() = 0;

private:
    std::thread Thread;
};

}  // namespace tavrin
