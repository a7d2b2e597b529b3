#include "base/platform/StationLock.h"
#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <gtest/gtest.h>

#include <future>
#include <set>
#include <unistd.h>

namespace tavrin {
namespace {

class StationLock : public testing::ScratchStation {
protected:
    // A page buffer folder with one plate of each of the jobs.
    void WritePageBuffers(const std::vector<int>& jobs)
    {
        CopyFromStation("tavrin.dbi");
        const auto pageBuffers = Folder.Path("pgb");
        std::filesystem::create_directories(pageBuffers);
        Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + pageBuffers.string() + "\n");
        for (const int job : jobs) {
            TPlateOptions options;
            options.JobNumber = job;
            options.ColorName = "BLACK";
            options.JobName = std::to_string(job) + ".Leaflet";
            const TBitmap blank{32, 2, std::vector<std::uint8_t>(8, 0)};
            WriteFileBytes((pageBuffers / (std::to_string(job) + ".pgb")).string(),
                           PageBufferBytes(PlateLayout(blank, options)));
        }
    }
};

TEST_F(StationLock, AChangingCommandIsRefusedWhileAnotherProcessHoldsTheStationAndReadingOnesAreNot)
{
    WritePageBuffers({5});
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    const std::string folder = Folder.Path("").parent_path().string();
    {
        // Held as another process holds it: a lock of its own on the same file.
        const TStationLock held(Folder.Path("tavrin.lock").string());
        ASSERT_TRUE(held.Held()) << held.Refusal();
        for (const char* command : {"queue add 5", "tree", "start --yes", "queue list then queue add 5"}) {
            const auto refused = testing::RunProgram("tavrin-cli", command);
            EXPECT_EQ(refused.ExitStatus, 1) << command;
            EXPECT_EQ(refused.Errors,
                      "The station in " + folder + " is in use by process " + std::to_string(::getpid()) + ".\n")
                << command;
            EXPECT_EQ(refused.Output, "") << command;
        }
        for (const char* command : {"queue list", "postqueue list", "contacts list", "encipher x"})
            EXPECT_EQ(testing::RunProgram("tavrin-cli", command).ExitStatus, 0) << command;
    }
    const auto added = testing::RunProgram("tavrin-cli", "queue add 5");
    EXPECT_EQ(added.ExitStatus, 0) << added.Errors;
    EXPECT_NE(added.Output.find("Leaflet"), std::string::npos) << added.Output;
}

// Concurrent scans once catalogued every plate two or three times over.
TEST_F(StationLock, ConcurrentScansNeverCatalogueAJobTwice)
{
    std::vector<int> jobs;
    for (int job = 1; job <= 20; ++job)
        jobs.push_back(job);
    WritePageBuffers(jobs);
    std::vector<std::future<testing::TCliResult>> runs;
    for (int i = 0; i < 3; ++i)
        runs.push_back(std::async(std::launch::async, [] { return testing::RunProgram("tavrin-cli", "tree"); }));
    int succeeded = 0;
    for (auto& run : runs) {
        const auto result = run.get();
        if (result.ExitStatus == 0)
            ++succeeded;
        else
            EXPECT_NE(result.Errors.find(" is in use by process "), std::string::npos) << result.Errors;
    }
    EXPECT_GE(succeeded, 1);

    // Every job and every plate once in the catalogue.
    TCatalogueConnection catalogue;
    OpenCatalogueConnection(catalogue, CatalogueFilePath());
    for (const char* table : {"JobList", "PlateList"}) {
        TRecordSet rows;
        OpenQuery(catalogue, rows, std::string("select * from ") + table);
        int count = 0;
        for (; !rows.Eof(); rows.MoveNext())
            ++count;
        CloseQuery(rows);
        EXPECT_EQ(count, 20) << table;
    }
}

}  // namespace
}  // namespace tavrin
