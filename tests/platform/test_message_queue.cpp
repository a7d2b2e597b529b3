#include "base/platform/MessageQueue.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>

namespace tavrin {
namespace {

// Records what arrives and on which thread it was handled.
struct TRecorder final : TMessageHandler {
    std::vector<TTaskMessage> Received;
    std::vector<std::thread::id> HandledOn;
    void HandleMessage(TTaskMessage message) override
    {
        HandledOn.push_back(std::this_thread::get_id());
        Received.push_back(std::move(message));
    }
};

TEST(MessageQueue, MessagesFromSeveralThreadsArriveInPostingOrderOnTheMainThread)
{
    constexpr int ThreadCount = 4;
    constexpr int PerThread = 500;
    TMessageQueue queue;
    std::vector<std::thread> workers;
    for (int worker = 0; worker < ThreadCount; ++worker)
        workers.emplace_back([&queue, worker] {
            for (int i = 0; i < PerThread; ++i)
                queue.Post(TTaskMessage::Progress(WM_TASK_PROGRESS, i % 101,
                                                  std::to_string(worker) + ":" + std::to_string(i)));
        });

    TRecorder recorder;
    const bool complete = queue.PumpUntil(
        recorder, [&] { return recorder.Received.size() == ThreadCount * PerThread; }, std::chrono::seconds(10));
    for (auto& worker : workers)
        worker.join();

    ASSERT_TRUE(complete);
    std::map<int, int> nextIndex;
    for (const TTaskMessage& message : recorder.Received) {
        ASSERT_TRUE(message.Text.has_value());
        const auto colon = message.Text->find(':');
        const int worker = std::stoi(message.Text->substr(0, colon));
        const int index = std::stoi(message.Text->substr(colon + 1));
        EXPECT_EQ(index, nextIndex[worker]++) << "out of order for worker " << worker;
        EXPECT_EQ(message.Position, index % 101);
    }
    for (const auto& id : recorder.HandledOn)
        ASSERT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(queue.PumpPending(recorder), 0);
}

TEST(MessageQueue, KeepsNullAndEmptyTextsApart)
{
    TMessageQueue queue;
    queue.Post(TTaskMessage::Progress(WM_TOTAL_PROGRESS, 40, std::nullopt));
    queue.Post(TTaskMessage::Progress(WM_TOTAL_PROGRESS, -1, std::string()));
    TRecorder recorder;
    EXPECT_EQ(queue.PumpPending(recorder), 2);
    ASSERT_EQ(recorder.Received.size(), 2u);
    EXPECT_FALSE(recorder.Received[0].Text.has_value());
    EXPECT_EQ(recorder.Received[0].Position, 40);
    ASSERT_TRUE(recorder.Received[1].Text.has_value());
    EXPECT_TRUE(recorder.Received[1].Text->empty());
}

TEST(MessageQueue, PumpOneTimesOutWhenNothingWasPosted)
{
    TMessageQueue queue;
    TRecorder recorder;
    EXPECT_FALSE(queue.PumpOne(recorder, std::chrono::milliseconds(20)));
    EXPECT_TRUE(recorder.Received.empty());
}

}  // namespace
}  // namespace tavrin
