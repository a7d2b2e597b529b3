#include "gui/QtMessageTarget.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <map>
#include <thread>
#include <vector>

namespace tavrin {
namespace {

struct TRecorder final : TMessageHandler {
    std::vector<TTaskMessage> Received;
    std::vector<std::thread::id> HandledOn;
    std::size_t Expected = 0;
    void HandleMessage(TTaskMessage message) override
    {
        HandledOn.push_back(std::this_thread::get_id());
        Received.push_back(std::move(message));
        if (Received.size() == Expected)
            QCoreApplication::quit();
    }
};

TEST(QtMessageTarget, DeliversPostsFromWorkersInOrderOnTheMainThread)
{
    int argc = 1;
    char name[] = "gui_tests";
    char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication application(argc, argv);

    constexpr int ThreadCount = 3;
    constexpr int PerThread = 300;
    TRecorder recorder;
    recorder.Expected = ThreadCount * PerThread;
    TQtMessageTarget target(recorder);

    std::vector<std::thread> workers;
    for (int worker = 0; worker < ThreadCount; ++worker)
        workers.emplace_back([&target, worker] {
            for (int i = 0; i < PerThread; ++i)
                target.Post(
                    TTaskMessage::Progress(WM_TOTAL_PROGRESS, -1, std::to_string(worker) + ":" + std::to_string(i)));
        });
    QTimer::singleShot(10000, &application, &QCoreApplication::quit);  // never hang the suite
    QCoreApplication::exec();
    for (auto& worker : workers)
        worker.join();

    ASSERT_EQ(recorder.Received.size(), recorder.Expected);
    std::map<int, int> nextIndex;
    for (const TTaskMessage& message : recorder.Received) {
        const auto colon = message.Text->find(':');
        const int worker = std::stoi(message.Text->substr(0, colon));
        EXPECT_EQ(std::stoi(message.Text->substr(colon + 1)), nextIndex[worker]++);
    }
    for (const auto& id : recorder.HandledOn)
        ASSERT_EQ(id, std::this_thread::get_id());
}

}  // namespace
}  // namespace tavrin
