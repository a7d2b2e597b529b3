#include "base/catalogue/ColumnDefinition.h"
#include "tests/catalogue/CatalogueFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace tavrin {
namespace {

using testing::TScratchProgramFolder;

constexpr const char* ValidLine = "JobList, JobListName, adVarWChar, 255, 0, 1, 0, 0, , 0";

TEST(DefinitionLine, ValidationRejectsWholeLines)
{
    struct TCase {
        const char* Line;
        bool Accepted;
    };
    const TCase cases[] = {
        {ValidLine, true},
        {"  'JobList' ,\"JobListID\", adInteger,4,10,0,1,0,'PK_Job',1  ", true},
        {"JobList, JobListName, adVarWChar, 255, 0, 1, 0, 0, , 0, 7", false},  // tenth field "0, 7"
        {"JobList, JobListName, adVarWChar, 255, 0, 1, 0, 0, 0", false},       // nine fields
        {"JobList, JobListName, adWideString, 255, 0, 1, 0, 0, , 0", false},
        {"JobList, JobListName, advarwchar, 255, 0, 1, 0, 0, , 0", false},
        {"JobList, JobListName, adVarWChar, -1, 0, 1, 0, 0, , 0", false},
        {"JobList, JobListName, adVarWChar, 255, -1, 1, 0, 0, , 0", false},
        {"JobList, JobListName, adVarWChar, 255, 0, -1, 0, 0, , 0", false},
        {"JobList, JobListName, adVarWChar, 255, 0, 1, -1, 0, , 0", false},
        {"JobList, JobListName, adVarWChar, 255, 0, 1, 0, -1, , 0", false},
        {"JobList, JobListName, adVarWChar, 255, 0, 1, 0, 0, , -1", false},
        {"JobList, JobListName, adVarWChar, 255, 0, 1, 0, , , 0", false},  // empty reserved field
        {"JobList, JobListName, adVarWChar, 2x5, 0, 1, 0, 0, , 0", false},
        {", JobListName, adVarWChar, 255, 0, 1, 0, 0, , 0", false},
        {"JobList, '', adVarWChar, 255, 0, 1, 0, 0, , 0", false},
        {"JobList, JobListName, adVarWChar, 255, 0, 1, 0, 0, , ", false},
    };
    for (const TCase& c : cases) {
        TColumnDefinition definition;
        EXPECT_EQ(ParseColumnDefinition(c.Line, definition), c.Accepted) << c.Line;
    }
    TColumnDefinition definition;
    ASSERT_TRUE(ParseColumnDefinition(cases[1].Line, definition));
    EXPECT_EQ(definition.Table, "JobList");
    EXPECT_EQ(definition.Column, "JobListID");
    EXPECT_EQ(definition.KeyName, "PK_Job");
    EXPECT_TRUE(definition.PrimaryKey && definition.AutoIncrement && !definition.Nullable);
}

TEST(DefinitionLine, StripQuotesRemovesOneMatchingPair)
{
    const std::pair<const char*, const char*> cases[] = {{"'a'", "a"}, {"\"a\"", "a"},     {"'a\"", "'a\""}, {"''", ""},
                                                         {"'", "'"},   {"\"'a'\"", "'a'"}, {"a", "a"}};
    for (const auto& [field, stripped] : cases)
        EXPECT_EQ(StripQuotes(field), stripped) << field;
}

TEST(DefinitionLine, KnowsTheFortyTypeNamesExactly)
{
    const char* names[] = {"adEmpty",
                           "adTinyInt",
                           "adSmallInt",
                           "adInteger",
                           "adBigInt",
                           "adUnsignedTinyInt",
                           "adUnsignedSmallInt",
                           "adUnsignedInt",
                           "adUnsignedBigInt",
                           "adSingle",
                           "adDouble",
                           "adCurrency",
                           "adDecimal",
                           "adNumeric",
                           "adBoolean",
                           "adError",
                           "adUserDefined",
                           "adVariant",
                           "adIDispatch",
                           "adIUnknown",
                           "adGUID",
                           "adDate",
                           "adDBDate",
                           "adDBTime",
                           "adDBTimeStamp",
                           "adBSTR",
                           "adChar",
                           "adVarChar",
                           "adLongVarChar",
                           "adWChar",
                           "adVarWChar",
                           "adLongVarWChar",
                           "adBinary",
                           "adVarBinary",
                           "adLongVarBinary",
                           "adChapter",
                           "adFileTime",
                           "adDBFileTime",
                           "adPropVariant",
                           "adVarNumeric"};
    for (const char* name : names)
        EXPECT_NE(AdoTypeFromName(name), -1) << name;
    EXPECT_EQ(AdoTypeFromName("adVarWChar"), 202);
    EXPECT_EQ(AdoTypeFromName("adInteger"), 3);
    for (const char* name : {"", "ADINTEGER", "adinteger", "adInteger ", "adWideChar"})
        EXPECT_EQ(AdoTypeFromName(name), -1) << name;
}

// A program folder with a definition file and the catalogue made from it.
class CatalogueDefinition : public ::testing::Test {
protected:
    void TearDown() override { Catalogue.Close(); }

    std::string Database() const { return Folder.Path("tavrin.mdb").string(); }

    void Prepare(const std::string& definitions)
    {
        Folder.Write("tavrin.dbi", definitions);
        // As at every start-up: the station's connection, once open, stays open.
        ASSERT_TRUE(PrepareCatalogue(Database(), true));
        OpenCatalogueConnection(Catalogue, Database());
    }

    std::vector<std::string> Column(const std::string& statement, const std::string& column)
    {
        return testing::ColumnValues(Catalogue, statement, column);
    }

    void Run(const std::string& statement)
    {
        TRecordSet rows;
        OpenQuery(Catalogue, rows, statement);
    }

    // The schema as SQLite holds it: changes nothing means this stays the same.
    std::string Schema()
    {
        std::string schema;
        for (const std::string& sql : Column("select sql from sqlite_master order by name", "sql"))
            schema += sql + "\n";
        return schema;
    }

    TScratchProgramFolder Folder;
    TCatalogueConnection Catalogue;
};

TEST_F(CatalogueDefinition, ShippedFileDefinesEveryColumnAndASecondRunChangesNothing)
{
    Folder.CopyStationFile("tavrin.dbi");
    ASSERT_TRUE(PrepareCatalogue(Database(), true));  // creates the file
    OpenCatalogueConnection(Catalogue, Database());
    const std::map<std::string, std::vector<std::string>> columns = {
        {"JobList",
         {"JobListID", "JobListName", "JobListCustomerID", "JobListStatus", "JobListReference", "JobListXResolution",
          "JobListYResolution", "JobListImageNegate", "JobListMarginNegate", "JobListImageWidth", "JobListImageHeight",
          "JobListUniqueID", "JobListDataWidth", "JobListPageCount", "JobListSecret"}},
        {"PlateList",
         {"PlateListJobReference", "PlateListPageNumber", "PlateListPlateColor", "PlateListSource",
          "PlateListPlateColorValue"}},
        {"QueueList",
         {"QueueListJobReference", "QueueListTasks", "QueueListStatus", "QueueListRecipients",
          "QueueListFailureReason"}},
        {"PostQueueList", {"PostQueueListJobReference", "PostQueueListTasks", "PostQueueListWithdrawalFailure"}},
        {"AddressList", {"AddressListID", "AddressListName", "AddressListEmail"}},
        {"CoverageList",
         {"CoverageListID", "CoverageListJobReference", "CoverageListPageNumber", "CoverageListPlateColor",
          "CoverageListIndexBit", "CoverageListInkedPixels", "CoverageListPagePixels"}},
        {"PlateDigestList",
         {"PlateDigestListID", "PlateDigestListJobReference", "PlateDigestListPageNumber", "PlateDigestListPlateColor",
          "PlateDigestListIndexBit", "PlateDigestListWidth", "PlateDigestListHeight", "PlateDigestListXResolution",
          "PlateDigestListYResolution", "PlateDigestListSHA256"}},
    };
    for (const auto& [table, names] : columns)
        for (const std::string& name : names)
            EXPECT_EQ(
                Column("select name from pragma_table_info(\"" + table + "\") where name = \"" + name + "\"", "name")
                    .size(),
                1u)
                << table << "." << name;
    // Every text column takes the empty text.
    Run("insert into JobList (JobListName, JobListStatus, JobListUniqueID) values (\"\", \"\", \"\")");
    Run("insert into PlateList (PlateListPlateColor, PlateListSource) values (\"\", \"\")");
    Run("insert into QueueList (QueueListTasks, QueueListStatus, QueueListRecipients) values (\"\", \"\", \"\")");
    Run("insert into PostQueueList (PostQueueListTasks) values (\"\")");
    Run("insert into AddressList (AddressListName, AddressListEmail) values (\"\", \"\")");
    // A page of 2400 dpi on A0 has more pixels than 32 bits can count.
    Run("insert into CoverageList (CoverageListPlateColor, CoverageListPagePixels) values (\"\", 10000000000)");
    EXPECT_EQ(Column("select * from CoverageList", "CoverageListPagePixels"), std::vector<std::string>{"10000000000"});
    EXPECT_EQ(Column("select * from JobList", "JobListID"), std::vector<std::string>{"1"});

    const std::string before = Schema();
    ASSERT_TRUE(PrepareCatalogue(Database(), true));
    OpenCatalogueConnection(Catalogue, Database());
    EXPECT_EQ(Schema(), before);
    EXPECT_EQ(Column("select * from QueueList", "QueueListRecipients"), std::vector<std::string>{""});
}

// Two scans at once once filed jobs twice; a job reference names one job.
TEST_F(CatalogueDefinition, AJobIsFiledOnceAndEarlierDuplicatesGoKeepingTheFirst)
{
    Folder.CopyStationFile("tavrin.dbi");
    ASSERT_TRUE(PrepareCatalogue(Database(), true));
    OpenCatalogueConnection(Catalogue, Database());
    Run("insert into JobList (JobListReference, JobListUniqueID) values (7, \"20261210090000001\")");
    EXPECT_THROW(Run("insert into JobList (JobListReference, JobListUniqueID) values (7, \"20261210090000002\")"),
                 ECatalogueError);

    // A catalogue from before the rule, holding duplicates.
    Run("drop index JobListReferenceUnique");
    Run("insert into JobList (JobListReference, JobListUniqueID) values (7, \"20261210090000002\")");
    Run("insert into JobList (JobListReference, JobListUniqueID) values (8, \"20261210090000003\")");
    Run("insert into JobList (JobListReference, JobListUniqueID) values (7, \"20261210090000004\")");
    Catalogue.Close();
    ASSERT_TRUE(PrepareCatalogue(Database(), true));
    OpenCatalogueConnection(Catalogue, Database());
    EXPECT_EQ(Column("select * from JobList order by JobListReference", "JobListUniqueID"),
              (std::vector<std::string>{"20261210090000001", "20261210090000003"}));
    EXPECT_THROW(Run("insert into JobList (JobListReference) values (8)"), ECatalogueError);
}

TEST_F(CatalogueDefinition, SkippedAndRejectedLinesChangeNothing)
{
    Prepare(";JobList, A, adInteger, 4, 0, 1, 0, 0, , 0\n"
            "\n"
            "JobList, B, adInteger, 4, 0, 1, 0, 0, , 0, 1\n"
            "JobList, C, adNoSuchType, 4, 0, 1, 0, 0, , 0\n"
            "JobList, D, adInteger, 4, 0, 1, 0, , , 0\n"
            "  ;JobList, E, adInteger, 4, 0, 1, 0, 0, , 0\n");
    // Only a ";" in the first column makes a comment: the last line names a table ";JobList".
    EXPECT_EQ(Schema(), "CREATE TABLE \";JobList\" (\"E\" INTEGER)\n");
    EXPECT_TRUE(std::filesystem::exists(Database()));
}

TEST_F(CatalogueDefinition, NullabilityFollowsTheLineAndKeepsEveryRow)
{
    const std::string columns = "T, ID, adInteger, 4, 0, 0, 1, 0, PK_T, 1\n"
                                "T, Name, adVarWChar, 50, 0, 1, 0, 0, , 0\n";
    Prepare(columns);
    for (const char* name : {"a", "b", "c"})
        Run(std::string("insert into T (Name) values (\"") + name + "\")");
    Run("delete from T where ID = 3");

    // Nullable 0 with no NULL stored: the column becomes required, rows and numbering stay.
    Prepare("T, ID, adInteger, 4, 0, 0, 1, 0, PK_T, 1\nT, Name, adVarWChar, 50, 0, 0, 0, 0, , 0\n");
    EXPECT_EQ(Column("select * from T order by ID", "Name"), (std::vector<std::string>{"a", "b"}));
    EXPECT_THROW(Run("insert into T (ID) values (9)"), ECatalogueError);
    Run("insert into T (Name) values (\"d\")");
    EXPECT_EQ(Column("select * from T where Name = \"d\"", "ID"), std::vector<std::string>{"4"});
    EXPECT_NE(Schema().find("NOT NULL"), std::string::npos);

    // Back to nullable: NULL is taken again.
    Prepare(columns);
    Run("insert into T (ID) values (9)");
    EXPECT_EQ(Column("select * from T order by ID", "Name"), (std::vector<std::string>{"a", "b", "d", ""}));

    // Nullable 0 while a NULL is stored: the change cannot be made, nothing is lost.
    const std::string before = Schema();
    Prepare("T, ID, adInteger, 4, 0, 0, 1, 0, PK_T, 1\nT, Name, adVarWChar, 50, 0, 0, 0, 0, , 0\n");
    EXPECT_EQ(Schema(), before);
    EXPECT_EQ(Column("select * from T order by ID", "ID"), (std::vector<std::string>{"1", "2", "4", "9"}));
}

TEST_F(CatalogueDefinition, WideTextTypeLiftsTheEmptyTextRuleButNeverChangesTheType)
{
    Prepare("T, Code, adVarChar, 10, 0, 1, 0, 0, , 0\n");
    Run("insert into T (Code) values (\"x\")");
    EXPECT_THROW(Run("insert into T (Code) values (\"\")"), ECatalogueError);
    Prepare("T, Code, adVarWChar, 99, 0, 1, 0, 0, , 0\n");
    Run("insert into T (Code) values (\"\")");
    EXPECT_EQ(Column("select * from T", "Code"), (std::vector<std::string>{"x", ""}));
    EXPECT_EQ(Column("select type from pragma_table_info(\"T\")", "type"), std::vector<std::string>{"VARCHAR(10)"});
}

TEST_F(CatalogueDefinition, NewColumnJoinsATableHoldingRows)
{
    Prepare("T, ID, adInteger, 4, 0, 0, 1, 0, PK_T, 1\n");
    Run("insert into T (ID) values (5)");
    Prepare("T, ID, adInteger, 4, 0, 0, 1, 0, PK_T, 1\nT, Note, adLongVarWChar, 0, 0, 1, 0, 0, , 0\n"
            "U, Other, adDouble, 8, 0, 1, 0, 0, , 0\n");
    Run("update T set Note = \"n\" where ID = 5");
    EXPECT_EQ(Column("select * from T", "Note"), std::vector<std::string>{"n"});
    Run("insert into U (Other) values (\"1.5\")");
    EXPECT_EQ(Column("select * from U", "Other"), std::vector<std::string>{"1.5"});
    // A second primary key cannot be added: the engine's error reaches the caller.
    Folder.Write("tavrin.dbi", "T, Second, adInteger, 4, 0, 1, 1, 0, PK2, 0\n");
    EXPECT_THROW(PrepareCatalogue(Database(), true), ECatalogueError);
}

TEST_F(CatalogueDefinition, UpdateFlagFalseLeavesAnExistingFileAlone)
{
    Folder.Write("tavrin.mdb", "");
    EXPECT_FALSE(PrepareCatalogue(Database(), false));  // no definition file: not even looked for
    EXPECT_THROW(PrepareCatalogue(Database(), true), std::runtime_error);
}

TEST_F(CatalogueDefinition, MissingFileIsCreatedFromCommentsAlone)
{
    Folder.Write("tavrin.dbi", "; nothing yet\n");
    EXPECT_TRUE(PrepareCatalogue(Database(), false));
    EXPECT_TRUE(std::filesystem::exists(Database()));
}

TEST_F(CatalogueDefinition, ForeignOrLockedFileGivesAClearErrorAndIsNeverOverwritten)
{
    Folder.CopyStationFile("tavrin.dbi");
    const std::string foreign = "Standard Jet DB\n" + std::string(2000, 'x');
    Folder.Write("tavrin.mdb", foreign);
    try {
        PrepareCatalogue(Database(), true);
        ADD_FAILURE() << "a foreign file was taken for a catalogue";
    } catch (const ECatalogueError& error) {
        EXPECT_EQ(std::string(error.what()), "The catalogue file " + Database() + " is not a database");
    }
    EXPECT_EQ(Folder.Read("tavrin.mdb"), foreign);
    OpenCatalogueConnection(Catalogue, Database());
    TRecordSet rows;
    EXPECT_THROW(OpenQuery(Catalogue, rows, "select * from JobList"), ECatalogueError);
    Catalogue.Close();

    // Another program holding the file's lock.
    std::filesystem::remove(Database());
    Folder.Write("tavrin.mdb", "");
    ASSERT_TRUE(PrepareCatalogue(Database(), true));
    TCatalogueConnection other;
    other.Open(Database(), false);
    other.Execute("begin exclusive");
    other.Execute("insert into JobList (JobListReference) values (1)");
    try {
        PrepareCatalogue(Database(), true);
        ADD_FAILURE() << "a locked file was updated";
    } catch (const ECatalogueError& error) {
        EXPECT_EQ(std::string(error.what()), "The catalogue file " + Database() + " is locked by another program");
    }
    other.Execute("commit");
    OpenCatalogueConnection(Catalogue, Database());
    EXPECT_EQ(Column("select * from JobList", "JobListReference"), std::vector<std::string>{"1"});
}

}  // namespace
}  // namespace tavrin
