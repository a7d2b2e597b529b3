#include "tests/catalogue/CatalogueFixture.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tavrin {
namespace {

using CatalogueAccess = testing::CatalogueFixture;

const std::vector<std::string>& HostileTexts()
{
    static const std::vector<std::string> texts = {
        "'; drop table JobList; --",
        "\"; delete from AddressList; --",
        "\" or \"1\"=\"1",
        "Robert'); DROP TABLE AddressList;--",
        "x\" , AddressListEmail = \"evil",
        "delete * from PlateList",
        "select * from JobList inner join PlateList on 1=1",
        "?",
        "?1 :name @x $y",
        "\"\"\"",
        "a;b;c",
        std::string("nul\0inside", 10),
        "Cyan \xc3\xa6\xc3\xb8\xc3\xa5",
        "",
    };
    return texts;
}

TEST(QuoteText, EnclosesInDoubleQuotesAndDoublesInnerOnes)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "\"\""}, {"Cyan", "\"Cyan\""}, {"a\"b", "\"a\"\"b\""}, {"\"", "\"\"\"\""}, {"'", "\"'\""}};
    for (const auto& [text, quoted] : cases)
        EXPECT_EQ(QuoteText(text), quoted) << text;
}

TEST(FieldValues, DefaultsStandForEmptyAndUnconvertibleValues)
{
    struct TCase {
        const char* Value;
        std::int32_t Integer;  // with default 7
        const char* Text;      // with default "dflt"
    };
    const TCase cases[] = {
        {"", 7, "dflt"},
        {"42", 42, "42"},
        {"-2147483648", INT32_MIN, "-2147483648"},
        {"2147483648", 7, "2147483648"},
        {"12abc", 7, "12abc"},
        {"1.5", 7, "1.5"},
        {"+3", 3, "+3"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ValueAsInteger(c.Value, 7), c.Integer) << c.Value;
        EXPECT_EQ(ValueAsText(c.Value, "dflt"), c.Text) << c.Value;
    }
}

TEST_F(CatalogueAccess, HostileTextsAreStoredAndFoundAsTheyAreAndChangeNothingElse)
{
    Run("insert into JobList (JobListName, JobListReference) values (\"Keep\", 1)");
    Run("insert into PlateList (PlateListJobReference, PlateListPlateColor) values (1, \"Cyan\")");
    for (const std::string& text : HostileTexts()) {
        Run("insert into AddressList (AddressListName, AddressListEmail) values (" + QuoteText(text) + ", " +
            QuoteText(text + "@x") + ")");
        const auto found = Column("select * from AddressList where AddressListName = " + QuoteText(text) +
                                      " and AddressListEmail = " + QuoteText(text + "@x"),
                                  "AddressListName");
        ASSERT_EQ(found.size(), 1u) << text;
        EXPECT_EQ(found[0], text);
        EXPECT_TRUE(Column("select * from PlateList where PlateListJobReference = 1 and PlateListPlateColor = " +
                               QuoteText(text),
                           "PlateListSource")
                        .empty())
            << text;
        Run("update JobList set JobListStatus = " + QuoteText(text) + " where JobListReference = 1");
        EXPECT_EQ(Column("select * from JobList", "JobListStatus"), std::vector<std::string>{text});
    }
    EXPECT_EQ(Column("select * from AddressList", "AddressListName").size(), HostileTexts().size());
    EXPECT_EQ(Column("select * from JobList", "JobListName"), std::vector<std::string>{"Keep"});
    EXPECT_EQ(Column("select * from PlateList", "PlateListPlateColor"), std::vector<std::string>{"Cyan"});
}

TEST_F(CatalogueAccess, AcceptsTheStatementsAsTheStationWritesThem)
{
    // A new job carries its page count as the text "1"; the column still holds a number.
    for (int reference : {10, 11, 12})
        Run("insert into JobList (JobListName, JobListCustomerID, JobListStatus, JobListReference, JobListUniqueID, "
            "JobListDataWidth,JobListPageCount) values (\"Job " +
            std::to_string(reference) + "\", 0, \"new\", " + std::to_string(reference) +
            ", \"20080314092653120\", 64, \"1\")");
    Run("update JobList set JobListPageCount = 3 where JobListReference = 11");
    EXPECT_EQ(Column("select * from JobList where JobListPageCount > 2", "JobListReference"),
              std::vector<std::string>{"11"});
    Run("insert into PlateList (PlateListJobReference, PlateListPageNumber, PlateListPlateColor, PlateListSource, "
        "PlateListPlateColorValue) values (11, 1, \"CYAN\", \"a.pgb\", 16776960)");
    Run("insert into QueueList (QueueListJobReference, QueueListTasks, QueueListStatus, QueueListRecipients) values "
        "(11, \"Master, Preview, Web, Transfer, Notify\", \"new\", \"\")");
    // Table names in any case; inner joins with qualified columns.
    Run("update Queuelist set QueueListTasks = \"Master\" where QueueListJobReference = 11");
    EXPECT_EQ(Column("select * from QueueList inner join JobList on JobList.JobListReference = "
                     "QueueList.QueueListJobReference",
                     "JobListName"),
              std::vector<std::string>{"Job 11"});
    EXPECT_EQ(Column("select * from JobList inner join PlateList on JobList.JobListReference = "
                     "PlateList.PlateListJobReference",
                     "PlateListSource"),
              std::vector<std::string>{"a.pgb"});
    EXPECT_EQ(Column("select * from QueueList", "QueueListTasks"), std::vector<std::string>{"Master"});
    EXPECT_EQ(Column("select * from QueueList", "QueueListRecipients"), std::vector<std::string>{""});
    // Negated in-lists keep what is listed; "delete * from" empties a table.
    Run("delete from JobList where not JobListReference in (10, 12)");
    EXPECT_EQ(Column("select * from JobList order by JobListReference asc", "JobListReference"),
              (std::vector<std::string>{"10", "12"}));
    Run("delete * from PlateList");
    EXPECT_TRUE(Column("select * from PlateList", "PlateListSource").empty());
}

TEST_F(CatalogueAccess, MissingColumnsAndNullsReadAsEmpty)
{
    Run("insert into JobList (JobListReference) values (5)");
    TRecordSet rows;
    ASSERT_TRUE(OpenQuery(Catalogue, rows, "select * from JobList"));
    ASSERT_FALSE(rows.Eof());
    EXPECT_EQ(FieldValue(rows, "NoSuchColumn"), "");
    EXPECT_EQ(ValueAsInteger(FieldValue(rows, "NoSuchColumn"), 0), 0);
    EXPECT_EQ(ValueAsText(FieldValue(rows, "JobListName"), "Untitled"), "Untitled");
    EXPECT_EQ(FieldValue(rows, "joblistreference"), "5");
    rows.MoveNext();
    EXPECT_TRUE(rows.Eof());
    EXPECT_EQ(FieldValue(rows, "JobListReference"), "");
    CloseQuery(rows);
    CloseQuery(rows);
    EXPECT_FALSE(rows.Active());
}

TEST_F(CatalogueAccess, AddressIdentitiesAreAssignedNeverZeroAndNeverReused)
{
    for (const char* name : {"A", "B", "C"})
        Run(std::string("insert into AddressList (AddressListName, AddressListEmail) values (\"") + name + "\", \"\")");
    EXPECT_EQ(Column("select * from AddressList order by AddressListID asc", "AddressListID"),
              (std::vector<std::string>{"1", "2", "3"}));
    Run("delete from AddressList where AddressListID = 3");
    Run("insert into AddressList (AddressListName, AddressListEmail) values (\"D\", \"d@x\")");
    EXPECT_EQ(Column("select * from AddressList where AddressListName = \"D\"", "AddressListID"),
              std::vector<std::string>{"4"});
    EXPECT_EQ(Column("select * from AddressList where AddressListID in (1,4)", "AddressListName"),
              (std::vector<std::string>{"A", "D"}));
}

TEST_F(CatalogueAccess, FailuresRaiseAndChangeNothing)
{
    Run("insert into JobList (JobListReference) values (1)");
    const char* statements[] = {
        "delete from JobList; delete from PlateList",  // two statements in one text
        "select * from NoSuchTable",
        "delete frm JobList",
        "select * from JobList where JobListReference = ?",  // a parameter no text fills
        "select * from JobList where JobListName = \"open",
    };
    for (const char* statement : statements) {
        TRecordSet rows;
        EXPECT_THROW(OpenQuery(Catalogue, rows, statement), std::runtime_error) << statement;
        EXPECT_FALSE(rows.Active());
    }
    EXPECT_EQ(Column("select * from JobList", "JobListReference"), std::vector<std::string>{"1"});
    TRecordSet rows;
    TCatalogueConnection closed;
    EXPECT_THROW(OpenQuery(closed, rows, "select * from JobList"), ECatalogueError);
}

TEST_F(CatalogueAccess, RolledBackTransactionsLeaveNoRowsAndNestedOnesKeepTheirOuterWork)
{
    Catalogue.BeginTrans();
    Run("insert into JobList (JobListReference) values (1)");
    Catalogue.BeginTrans();
    Run("insert into JobList (JobListReference) values (2)");
    Catalogue.RollbackTrans();
    Catalogue.CommitTrans();
    Catalogue.BeginTrans();
    Run("insert into JobList (JobListReference) values (3)");
    Catalogue.RollbackTrans();
    EXPECT_EQ(Column("select * from JobList", "JobListReference"), std::vector<std::string>{"1"});
    EXPECT_THROW(Catalogue.CommitTrans(), ECatalogueError);
}

// A full disk makes the engine undo the whole transaction; the commit that
// follows must say why, not that there was nothing to commit.
TEST_F(CatalogueAccess, AFullDiskIsNamedByTheCommitOfTheTransactionItUndid)
{
    Catalogue.Execute("pragma max_page_count = 1");  // the catalogue's present size
    Catalogue.BeginTrans();
    Catalogue.BeginTrans();
    const std::string name(4000, 'x');
    bool full = false;
    for (int row = 0; row < 1000 && !full; ++row) {
        try {
            Run("insert into JobList (JobListReference, JobListName) values (" + std::to_string(row + 1) + ", " +
                QuoteText(name) + ")");
        } catch (const ECatalogueError& error) {
            EXPECT_NE(std::string(error.what()).find("full"), std::string::npos) << error.what();
            full = true;
        }
    }
    ASSERT_TRUE(full);
    Catalogue.RollbackTrans();
    // The scan's own level neither begins another nor commits; each says why.
    for (const auto step : {&TCatalogueConnection::BeginTrans, &TCatalogueConnection::CommitTrans}) {
        try {
            (Catalogue.*step)();
            ADD_FAILURE() << "a step inside a transaction the engine undid went through";
        } catch (const ECatalogueError& error) {
            EXPECT_NE(std::string(error.what()).find("the changes were undone: database or disk is full"),
                      std::string::npos)
                << error.what();
        }
    }
    Catalogue.RollbackTrans();
    EXPECT_TRUE(Column("select * from JobList", "JobListReference").empty());
    // Rolled back to the end, the catalogue takes transactions again.
    Catalogue.BeginTrans();
    Catalogue.CommitTrans();
}

}  // namespace
}  // namespace tavrin
