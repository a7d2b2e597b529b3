#pragma once

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/OutputLayout.h"
#include "base/platform/MessageQueue.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/imaging/ProofImage.h"
#include "tasks/imaging/PreviewThread.h"
#include "tasks/imaging/TilingThread.h"
#include "tests/delivery/ServerProcess.h"
#include "tests/support/TaskContexts.h"

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace tavrin::testing {

// A real web proof of job `reference` (its JobList row must exist): a
// 4800 x 3200 pixel master at 600 dpi of blocks of cyan, magenta and black
// dots (no yellow, no spot colours), then the Preview and Web tasks as the runner runs them. Returns the
// names in the job folder.
inline std::vector<std::string> WriteWebProof(const TTaskContext& context, const std::string& uniqueID,
                                              TMessageQueue& messages)
{
    const std::uint32_t reference = context.JobReference();
    constexpr std::uint32_t width = 4800, height = 3200, band = 64, words = width / 32;
    TRecordSet rows;
    OpenQuery(context.Catalogue(), rows,
              "update JobList set JobListImageWidth = 4800, JobListImageHeight = 3200, JobListXResolution = 600, "
              "JobListYResolution = 600, JobListDataWidth = 4800 where JobListReference = " +
                  std::to_string(reference));
    CloseQuery(rows);

    // 1. The master: each plane inks a different pattern of 32-pixel words.
    std::filesystem::create_directories(OutputFolder());
    auto master =
        TProofImage::CreateForWrite(MasterImagePath(uniqueID, 1), width, height, width, 600, 600, false, false, "", "");
    // A set bit is paper: the master is not negated.
    std::vector<std::vector<std::uint8_t>> planes(8, std::vector<std::uint8_t>(band * words * 4, 0xFF));
    std::mt19937 random(7);
    for (std::uint32_t first = 0; first < height; first += band) {
        for (std::size_t plane : {0, 1, 3})
            for (std::size_t word = 0; word < band * words; ++word) {
                const std::size_t x = word % words, y = first / band;
                const bool inked = (x / 16 + y + plane) % 3 != 0;
                for (std::size_t byte = 0; byte < 4; ++byte)
                    planes[plane][word * 4 + byte] =
                        inked ? static_cast<std::uint8_t>(random() | random()) : std::uint8_t(0xFF);
            }
        TPlatePlanes pointers{};
        for (std::size_t plane = 0; plane < 8; ++plane)
            pointers[plane] = planes[plane].data();
        master->WriteBand(first, band, pointers);
    }
    master->Close();

    // 2. The overview, the tiles and the pages.
    for (TTaskThread* task : std::initializer_list<TTaskThread*>{new TPreviewThread(messages, context),
                                                                 new TTilingThread(messages, context)}) {
        struct TUntilDone final : TMessageHandler {
            bool Done = false;
            void HandleMessage(TTaskMessage message) override
            {
                if (message.IsCompletion()) {
                    TWorkerThread::Release(message.Thread);
                    Done = true;
                }
            }
        } handler;
        task->Start();
        messages.PumpUntil(
            handler, [&] { return handler.Done; }, std::chrono::seconds(300));
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(OutputFolder() + uniqueID))
        names.push_back(entry.path().filename().string());
    return names;
}

// The files WriteWebProof leaves, with their sizes in bytes: two pages, the
// pages' ink, round and due date data, an overview and five tile databases, the deepest ones
// several megabytes.
struct TProofFile {
    const char* Name;
    std::size_t Size;
};
inline constexpr TProofFile WebProofFiles[] = {
    {"index.html", 192985},        {"print.html", 802},         {"inks.js", 1597},          {"proof.js", 39},
    {"overview-0001.png", 105789}, {"tile0-0001.tdb", 488564},  {"tile1-0001.tdb", 922564}, {"tile2-0001.tdb", 4181716},
    {"tile3-0001.tdb", 18011732},  {"tile4-0001.tdb", 4076596}, {"rounds.js", 29},          {"due.js", 20},
};

// A job folder that stands in for WriteWebProof's without rendering: the
// same names and sizes, the pages and the ink data as CRLF text lines (they
// travel as text), the rest noise. Returns the names in the job folder.
inline std::vector<std::string> WriteWebProofStandIn(const std::string& uniqueID)
{
    const std::string folder = OutputFolder() + uniqueID + "/";
    std::vector<std::string> names;
    unsigned seed = 1;
    for (const auto& file : WebProofFiles) {
        std::string bytes;
        if (std::string(file.Name).ends_with(".html") || std::string(file.Name).ends_with(".js")) {
            for (std::size_t number = 0;; ++number) {
                const std::string line = "<div class=\"page\">" + std::to_string(number) + "</div>\r\n";
                if (bytes.size() + line.size() + 2 > file.Size)
                    break;
                bytes += line;
            }
            bytes += std::string(file.Size - bytes.size() - 2, ' ') + "\r\n";
        } else {
            bytes = NoiseBytes(file.Size, seed++);
        }
        WriteBytes(folder + file.Name, bytes);
        names.push_back(file.Name);
    }
    return names;
}

}  // namespace tavrin::testing
