#include "base/platform/MessageBox.h"
#include "base/platform/MessageQueue.h"
#include "base/tasking/RoundedPercent.h"
#include "base/tasking/TaskThread.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <atomic>
#include <stdexcept>

namespace tavrin {
namespace {

std::atomic<int> LiveTasks{0};

// A task that reports, optionally fails, and records its scheduling class.
class TProbeTask final : public TTaskThread {
public:
    TProbeTask(TMessageTarget& target, std::uint32_t reference, bool fail)
        : TTaskThread(target, reference, WM_MASTER_DONE), Fail(fail)
    {
        ++LiveTasks;
    }
    ~TProbeTask() override { --LiveTasks; }

    int Policy = -1;

protected:
    void Run() override
    {
        Policy = sched_getscheduler(0);
        PostTaskText("working", 50);
        if (Fail)
            throw std::runtime_error("disk full");
        PostLogText("done", 100);
    }

private:
    bool Fail;
};

// Handles messages like the runner does: logs texts, releases on completion.
struct TReleasingHandler final : TMessageHandler {
    std::vector<TTaskMessage> Received;
    bool Completed = false;
    bool RecordPolicy = true;
    int PolicySeen = -1;
    void HandleMessage(TTaskMessage message) override
    {
        if (message.IsCompletion()) {
            if (RecordPolicy)
                PolicySeen = static_cast<TProbeTask*>(message.Thread)->Policy;
            TWorkerThread::Release(message.Thread);
            Completed = true;
        }
        Received.push_back(std::move(message));
    }
};

TEST(TaskThread, PostsItsCompletionLastAndIsReleasedByTheHandler)
{
    for (const bool fail : {false, true}) {
        TMessageQueue queue;
        auto* task = new TProbeTask(queue, 17, fail);
        task->Start();

        TReleasingHandler handler;
        ASSERT_TRUE(queue.PumpUntil(
            handler, [&] { return handler.Completed; }, std::chrono::seconds(10)));
        EXPECT_EQ(queue.PumpPending(handler), 0) << "nothing may follow the completion message";
        EXPECT_EQ(LiveTasks.load(), 0);
        EXPECT_EQ(handler.PolicySeen, SCHED_IDLE);

        // A failure is no log line of the task's own: the completion carries it.
        ASSERT_EQ(handler.Received.size(), fail ? 2u : 3u);
        EXPECT_EQ(handler.Received[0].Number, WM_TASK_PROGRESS);
        EXPECT_EQ(handler.Received[0].Position, 50);
        if (!fail) {
            EXPECT_EQ(handler.Received[1].Number, WM_TOTAL_PROGRESS);
            EXPECT_EQ(*handler.Received[1].Text, "done");
        }
        const TTaskMessage& completion = handler.Received.back();
        EXPECT_EQ(completion.Number, WM_MASTER_DONE);
        EXPECT_EQ(completion.JobReference, 17u);
        EXPECT_EQ(completion.Failed, fail);
        EXPECT_EQ(completion.FailureReason, fail ? "disk full" : "");
    }
}

// Boxes raised on a task's thread (libtiff, the master reader) would block it
// once per error; they become log lines, and the task has failed.
TEST(TaskThread, AnErrorBoxOnItsThreadIsALogLineAndFailsTheTask)
{
    class TBoxingTask final : public TTaskThread {
    public:
        explicit TBoxingTask(TMessageTarget& target) : TTaskThread(target, 9, WM_WEB_DONE) {}

    protected:
        void Run() override
        {
            ShowMessageBox("Tiff Error", "Not a TIFF file", TMessageBoxIcon::Error);
            ShowMessageBox("Error", "Could not read strip", TMessageBoxIcon::Error);
        }
    };
    int hookCalls = 0;
    SetMessageBoxHook([&](const std::string&, const std::string&, TMessageBoxIcon) { ++hookCalls; });
    TMessageQueue queue;
    (new TBoxingTask(queue))->Start();
    TReleasingHandler handler;
    handler.RecordPolicy = false;
    ASSERT_TRUE(queue.PumpUntil(
        handler, [&] { return handler.Completed; }, std::chrono::seconds(10)));
    SetMessageBoxHook({});

    EXPECT_EQ(hookCalls, 0);
    ASSERT_EQ(handler.Received.size(), 3u);
    EXPECT_EQ(*handler.Received[0].Text, "Tiff Error: Not a TIFF file");
    EXPECT_EQ(*handler.Received[1].Text, "Error: Could not read strip");
    EXPECT_TRUE(handler.Received[2].Failed);
    EXPECT_EQ(handler.Received[2].FailureReason, "Tiff Error: Not a TIFF file");
}

// A task that tells where a job's private folder is, then fails there.
class TSecretTellingTask final : public TTaskThread {
public:
    TSecretTellingTask(TMessageTarget& target, std::string secret)
        : TTaskThread(target, 7, WM_TRANSFER_DONE), Secret(std::move(secret))
    {
    }

protected:
    void Run() override
    {
        HideInLog(Secret);
        PostLogText("Remote Path: /tavrin/20261211093000123-" + Secret + "/", -1);
        PostTaskText("550 /tavrin/20261211093000123-" + Secret + "/x: twice " + Secret, -1);
        throw std::runtime_error("Could not reach the remote folder /tavrin/20261211093000123-" + Secret + "/");
    }

private:
    std::string Secret;
};

TEST(TaskThread, AHiddenSecretIsShortenedInEveryTextAndTheFailure)
{
    const std::string secret = "00112233445566778899aabbccddeeff";
    TMessageQueue queue;
    (new TSecretTellingTask(queue, secret))->Start();
    TReleasingHandler handler;
    handler.RecordPolicy = false;
    ASSERT_TRUE(queue.PumpUntil(
        handler, [&] { return handler.Completed; }, std::chrono::seconds(10)));
    ASSERT_EQ(handler.Received.size(), 3u);
    EXPECT_EQ(*handler.Received[0].Text, "Remote Path: /tavrin/20261211093000123-0011.../");
    EXPECT_EQ(*handler.Received[1].Text, "550 /tavrin/20261211093000123-0011.../x: twice 0011...");
    EXPECT_EQ(handler.Received[2].FailureReason,
              "Could not reach the remote folder /tavrin/20261211093000123-0011.../");
}

TEST(TaskProgress, PercentagesRoundHalvesToTheEvenNeighbour)
{
    const struct {
        std::int64_t Part, Whole;
        int Percent;
    } cases[] = {{0, 12, 0},      {1, 12, 8},   {2, 12, 17},
                 {3, 12, 25},     {11, 12, 92}, {0, 3, 0},
                 {1, 3, 33},      {2, 3, 67},   {1, 2, 50},
                 {1, 8, 12},      {3, 8, 38},   {5, 8, 62},
                 {7, 8, 88},      {1, 200, 0},  {3, 200, 2},
                 {199, 200, 100}, {5, 1000, 0}, {15, 1000, 2},
                 {7, 7, 100},     {5, 0, 0},    {3000000000LL, 4000000000LL, 75}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundedPercent(c.Part, c.Whole), c.Percent) << c.Part << " of " << c.Whole;
}

}  // namespace
}  // namespace tavrin
