#include "tests/catalogue/CatalogueFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace tavrin {
namespace {

using CatalogueConcurrency = testing::CatalogueFixture;

// Several threads write, roll back and read on the one shared connection at
// once: every committed row arrives once, no rolled-back row survives, and
// no statement fails (in particular never with "database is locked").
TEST_F(CatalogueConcurrency, ThreadsShareTheConnectionWithoutLosingOrTearingRows)
{
    constexpr int Writers = 4;
    constexpr int RowsPerWriter = 60;
    std::atomic<int> failures{0};
    std::atomic<bool> writing{true};
    std::string firstFailure;
    std::mutex failureMutex;
    const auto fail = [&](const std::exception& error) {
        std::lock_guard lock(failureMutex);
        if (failures++ == 0)
            firstFailure = error.what();
    };

    std::vector<std::thread> threads;
    for (int writer = 0; writer < Writers; ++writer) {
        threads.emplace_back([&, writer] {
            try {
                for (int row = 0; row < RowsPerWriter; ++row) {
                    const int reference = writer * 1000 + row;
                    const std::string name = QuoteText("job \"" + std::to_string(reference) + "\"");
                    // Every third row goes through a transaction; every fifth is rolled back.
                    const bool inTransaction = row % 3 == 0 || row % 5 == 0;
                    if (inTransaction)
                        Catalogue.BeginTrans();
                    TRecordSet rows;
                    OpenQuery(Catalogue, rows,
                              "insert into JobList (JobListName, JobListReference, JobListStatus) values (" + name +
                                  ", " + std::to_string(reference) + ", \"new\")");
                    OpenQuery(Catalogue, rows,
                              "insert into PlateList (PlateListJobReference, PlateListPlateColor) values (" +
                                  std::to_string(reference) + ", \"Cyan\")");
                    if (row % 5 == 0)
                        Catalogue.RollbackTrans();
                    else if (inTransaction)
                        Catalogue.CommitTrans();
                }
            } catch (const std::exception& error) {
                fail(error);
            }
        });
    }
    for (int reader = 0; reader < 2; ++reader) {
        threads.emplace_back([&] {
            try {
                while (writing) {
                    // A job and its plate are written together or not at all by transactions;
                    // whatever a join returns must be whole rows.
                    TRecordSet rows;
                    OpenQuery(Catalogue, rows,
                              "select * from JobList inner join PlateList on JobList.JobListReference = "
                              "PlateList.PlateListJobReference");
                    for (; !rows.Eof(); rows.MoveNext()) {
                        const std::string reference = FieldValue(rows, "JobListReference");
                        if (FieldValue(rows, "JobListName") != "job \"" + reference + "\"" ||
                            FieldValue(rows, "PlateListPlateColor") != "Cyan")
                            throw std::runtime_error("torn row for job " + reference);
                    }
                }
            } catch (const std::exception& error) {
                fail(error);
            }
        });
    }
    for (int writer = 0; writer < Writers; ++writer)
        threads[static_cast<std::size_t>(writer)].join();
    writing = false;
    for (std::size_t i = Writers; i < threads.size(); ++i)
        threads[i].join();

    EXPECT_EQ(failures.load(), 0) << firstFailure;
    std::set<std::string> expected;
    for (int writer = 0; writer < Writers; ++writer)
        for (int row = 0; row < RowsPerWriter; ++row)
            if (row % 5 != 0)
                expected.insert(std::to_string(writer * 1000 + row));
    const auto jobs = Column("select * from JobList", "JobListReference");
    const auto plates = Column("select * from PlateList", "PlateListJobReference");
    EXPECT_EQ(jobs.size(), expected.size());
    EXPECT_EQ(std::set<std::string>(jobs.begin(), jobs.end()), expected);
    EXPECT_EQ(std::set<std::string>(plates.begin(), plates.end()), expected);
    EXPECT_EQ(plates.size(), expected.size());
}

// The definition file is applied again at every start-up while workers may
// be reading: rebuilding a table on the second connection must neither fail
// their statements nor show them a table without its rows.
TEST_F(CatalogueConcurrency, WorkersReadWhileTheDefinitionFileRebuildsATable)
{
    for (int reference = 1; reference <= 20; ++reference)
        Run("insert into JobList (JobListName, JobListReference) values (\"job\", " + std::to_string(reference) + ")");
    const std::string shipped = Folder.Read("tavrin.dbi");
    std::string required = shipped;
    const std::string nameLine = "JobList, JobListStatus, adVarWChar, 50, 0, 1,";
    required.replace(required.find(nameLine), nameLine.size(), "JobList, JobListStatus, adVarWChar, 50, 0, 0,");
    Run("update JobList set JobListStatus = \"new\"");

    std::atomic<bool> preparing{true};
    std::atomic<int> failures{0};
    std::atomic<int> wrongCounts{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 2; ++i)
        readers.emplace_back([&] {
            while (preparing) {
                try {
                    TRecordSet rows;
                    OpenQuery(Catalogue, rows, "select * from JobList");
                    if (rows.RecordCount() != 20)
                        ++wrongCounts;
                } catch (const std::exception&) {
                    ++failures;
                }
            }
        });
    for (int round = 0; round < 6; ++round) {
        Folder.Write("tavrin.dbi", round % 2 == 0 ? required : shipped);
        EXPECT_TRUE(PrepareCatalogue(CatalogueFilePath(), true));
        const std::string table = Column("select sql from sqlite_master where name = \"JobList\"", "sql").at(0);
        EXPECT_EQ(table.find("\"JobListStatus\" NVARCHAR(50) NOT NULL") != std::string::npos, round % 2 == 0);
    }
    preparing = false;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(wrongCounts.load(), 0);
    EXPECT_EQ(Column("select * from JobList", "JobListReference").size(), 20u);
}

}  // namespace
}  // namespace tavrin
