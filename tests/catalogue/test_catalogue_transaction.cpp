#include "base/catalogue/CatalogueTransaction.h"
#include "base/catalogue/PageRowTable.h"
#include "tests/catalogue/CatalogueFixture.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin {
namespace {

class CatalogueTransaction : public testing::CatalogueFixture {
protected:
    std::vector<std::string> References() { return Column("select * from JobList", "JobListReference"); }

    void Insert(int reference)
    {
        Run("insert into JobList (JobListReference) values (" + std::to_string(reference) + ")");
    }

    // Inserts large rows until the disk is full; the engine then undoes the whole transaction.
    void FillTheDisk()
    {
        Catalogue.Execute("pragma max_page_count = 1");  // the catalogue's present size
        const std::string name(4000, 'x');
        for (int row = 0; row < 1000; ++row)
            Run("insert into JobList (JobListReference, JobListName) values (" + std::to_string(1000 + row) + ", " +
                QuoteText(name) + ")");
    }
};

TEST_F(CatalogueTransaction, WorkIsCommittedWithItsResultOrUndoneAloneInsideTheCallersTransaction)
{
    EXPECT_EQ(InTransaction(Catalogue,
                            [&] {
                                Insert(1);
                                return 42;
                            }),
              42);
    EXPECT_EQ(References(), std::vector<std::string>{"1"});

    Catalogue.BeginTrans();
    Insert(2);
    EXPECT_THROW(InTransaction(Catalogue,
                               [&] {
                                   Insert(3);
                                   throw std::runtime_error("the work failed");
                               }),
                 std::runtime_error);
    // Only the helper's level was undone: the caller's row stays and its level commits.
    Insert(4);
    Catalogue.CommitTrans();
    EXPECT_EQ(References(), (std::vector<std::string>{"1", "2", "4"}));
}

// A full disk makes the engine undo the whole transaction. The helper rolls
// back the level it began and no other: the caller's levels stay open, each
// step in them naming the full disk, until the caller rolls them back.
TEST_F(CatalogueTransaction, AFullDiskLeavesTheCallersLevelsForTheCallerToRollBack)
{
    Catalogue.BeginTrans();
    Insert(1);
    try {
        InTransaction(Catalogue, [&] { FillTheDisk(); });
        FAIL() << "the disk never filled";
    } catch (const ECatalogueError& error) {
        EXPECT_NE(std::string(error.what()).find("full"), std::string::npos) << error.what();
    }
    // A helper inside the undone transaction begins nothing, and so undoes nothing.
    try {
        InTransaction(Catalogue, [&] { Insert(2); });
        FAIL() << "a level began inside a transaction the engine undid";
    } catch (const ECatalogueError& error) {
        EXPECT_NE(std::string(error.what()).find("undone"), std::string::npos) << error.what();
    }
    EXPECT_THROW(Catalogue.CommitTrans(), ECatalogueError);
    // The caller's level is still there to end: had a helper rolled it back, this would raise.
    Catalogue.RollbackTrans();
    EXPECT_TRUE(References().empty());

    Catalogue.Execute("pragma max_page_count = 1000000");
    InTransaction(Catalogue, [&] { Insert(5); });
    EXPECT_EQ(References(), std::vector<std::string>{"5"});
}

TEST_F(CatalogueTransaction, APageTableReplacesAPageWholeOrNotAtAllAndRemovesOnlyTheJobsPagesItIsTold)
{
    const TPageRowTable table("CoverageList", "CoverageListPlateColor, CoverageListInkedPixels");
    table.ReplacePage(Catalogue, 7, 1, {"\"CYAN\", 10", "\"BLACK\", 20"});
    table.ReplacePage(Catalogue, 7, 2, {"\"BLACK\", 30"});
    table.ReplacePage(Catalogue, 8, 1, {"\"CYAN\", 40"});
    const auto rows = [&](std::uint32_t job) {
        TRecordSet found;
        table.OpenJobRows(Catalogue, found, job);
        std::vector<std::string> texts;
        for (; !found.Eof(); found.MoveNext())
            texts.push_back(FieldValue(found, "CoverageListPageNumber") + " " +
                            FieldValue(found, "CoverageListPlateColor"));
        return texts;
    };
    EXPECT_EQ(rows(7), (std::vector<std::string>{"1 CYAN", "1 BLACK", "2 BLACK"}));

    // The second row cannot be written: the page keeps its old rows.
    EXPECT_THROW(table.ReplacePage(Catalogue, 7, 1, {"\"MAGENTA\", 50", "\"YELLOW\""}), ECatalogueError);
    EXPECT_EQ(rows(7), (std::vector<std::string>{"1 CYAN", "1 BLACK", "2 BLACK"}));
    table.ReplacePage(Catalogue, 7, 1, {"\"MAGENTA\", 50"});
    EXPECT_EQ(rows(7), (std::vector<std::string>{"1 MAGENTA", "2 BLACK"}));

    Run("insert into CoverageList (CoverageListJobReference, CoverageListPlateColor) values (7, \"NO PAGE\")");
    table.ReplacePage(Catalogue, 7, 0, {"\"PAGE 0\", 1"});
    table.ReplacePage(Catalogue, 7, 3, {"\"PAGE 3\", 1"});
    table.ReplacePage(Catalogue, 8, 3, {"\"OTHER JOB\", 1"});
    table.RemoveBeyondPages(Catalogue, 7, 2);
    EXPECT_EQ(rows(7), (std::vector<std::string>{"1 MAGENTA", "2 BLACK"}));
    EXPECT_EQ(rows(8), (std::vector<std::string>{"1 CYAN", "3 OTHER JOB"}));

    table.RemovePage(Catalogue, 7, 1);
    EXPECT_EQ(rows(7), std::vector<std::string>{"2 BLACK"});
    table.RemoveJob(Catalogue, 7);
    EXPECT_TRUE(rows(7).empty());
    EXPECT_EQ(rows(8).size(), 2u);
}

TEST(FieldNumbers, OnlyAWholeTextOfTheTypesRangeIsANumber)
{
    struct TCase {
        const char* Text;
        bool Parsed;
    };
    for (const TCase& c : {TCase{"42", true}, TCase{"0", true}, TCase{"", false}, TCase{"-1", false},
                           TCase{"4 2", false}, TCase{"42 ", false}, TCase{"x", false}, TCase{"4294967296", false}}) {
        std::uint32_t number = 7;
        EXPECT_EQ(ParseFieldNumber(std::string(c.Text), number), c.Parsed) << c.Text;
        if (c.Parsed) {
            EXPECT_EQ(std::to_string(number), c.Text);
        }
    }
}

}  // namespace
}  // namespace tavrin
