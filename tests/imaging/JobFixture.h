#pragma once

#include "base/catalogue/JobDetailRecord.h"
#include "base/platform/MessageQueue.h"
#include "base/settings/SettingsRecord.h"
#include "base/tasking/StationLog.h"
#include "base/tasking/TaskThread.h"
#include "engines/imaging/TiffErrorHandler.h"
#include "tasks/catalogue/FolderScan.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace tavrin::testing {

// A message as the tests compare it: number, position, text.
struct TSeen {
    unsigned Number;
    int Position;
    std::string Text;
    bool operator==(const TSeen&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const TSeen& seen)
{
    return out << seen.Number << " " << seen.Position << " \"" << seen.Text << "\"";
}

// Keeps every message a task posts; the completion releases the task and
// reads "done", or "failed: " and the reason.
struct TMessageRecorder final : TMessageHandler {
    std::vector<TSeen> Seen;
    // The pages the task said it turned to, kept apart from the other messages.
    std::vector<int> Pages;
    bool Completed = false;
    void HandleMessage(TTaskMessage message) override
    {
        if (message.Page > 0) {
            Pages.push_back(message.Page);
        } else if (message.IsCompletion()) {
            Seen.push_back({message.Number, static_cast<int>(message.JobReference),
                            message.Failed ? "failed: " + message.FailureReason : "done"});
            TWorkerThread::Release(message.Thread);
            Completed = true;
        } else {
            Seen.push_back({message.Number, message.Position, message.Text.value_or("(null)")});
        }
    }
};

inline TBitmap RandomBitmap(int width, int height, unsigned seed)
{
    TBitmap bitmap{width, height, {}};
    bitmap.Bits.resize(bitmap.RowBytes() * std::size_t(height));
    std::mt19937 random(seed);
    for (auto& byte : bitmap.Bits)
        byte = static_cast<std::uint8_t>(random() & random());
    return bitmap;
}

// A catalogue with the jobs of a page buffer folder of the test's own plates
// (job 5, "5.Leaflet.ps", 300 dpi), and a way to run a task to completion.
class JobFixture : public CatalogueFixture {
protected:
    void SetUp() override
    {
        CatalogueFixture::SetUp();
        // As the front ends do: libtiff's reasons reach the tasks' failures.
        InstallTiffErrorHandler();
        InputFolder = Folder.Path("pgb").string() + "/";
        std::filesystem::create_directories(InputFolder);
    }

    void WritePlate(const std::string& name, int page, const std::string& color, const TBitmap& bitmap,
                    std::vector<int> values = {0, 0, 0, 32767},
                    std::vector<std::pair<std::string, std::string>> overrides = {},
                    const std::function<void(TPageBufferLayout&)>& spoil = {})
    {
        TPlateOptions options;
        options.JobNumber = 5;
        options.PageNumber = page;
        options.ColorName = color;
        options.ColorValues = std::move(values);
        options.JobName = "5.Leaflet.ps";
        options.Resolution = 300;
        options.Overrides = std::move(overrides);
        TPageBufferLayout layout = PlateLayout(bitmap, options);
        if (spoil)
            spoil(layout);
        WriteFileBytes(InputFolder + name, PageBufferBytes(layout));
        Bitmaps[name] = bitmap;
    }

    // Scans and builds the job tree, as the station does: the tree records the page count.
    void Scan()
    {
        TSettingsRecord settings;
        settings.InputFolder = InputFolder;
        TJobTree tree;
        BuildJobTree(Catalogue, tree, settings, Log);
    }

    // Starts the task made by the factory and collects its messages until
    // the completion message, which must be the last.
    std::vector<TSeen> RunTaskThread(const std::function<TTaskThread*(TMessageTarget&)>& make)
    {
        TMessageQueue queue;
        make(queue)->Start();
        TMessageRecorder recorder;
        EXPECT_TRUE(queue.PumpUntil(
            recorder, [&] { return recorder.Completed; }, std::chrono::seconds(120)));
        EXPECT_EQ(queue.PumpPending(recorder), 0) << "nothing may follow the completion message";
        PagesTold = recorder.Pages;
        return recorder.Seen;
    }

    // The pages the last task run said it worked on, in order.
    std::vector<int> PagesTold;

    std::string UniqueID(int reference)
    {
        TJobDetailRecord job;
        LoadJobDetail(Catalogue, reference, job);
        return job.UniqueID;
    }

    std::string InputFolder;
    std::map<std::string, TBitmap> Bitmaps;
    TStationLog Log{[] { return TLocalTime{2026, 12, 10, 9, 0, 0, 0}; }};
};

}  // namespace tavrin::testing
