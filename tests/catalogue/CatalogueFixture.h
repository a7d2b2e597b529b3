#pragma once

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueDefinition.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin::testing {

// Runs a statement on the shared connection and returns one column of every row.
inline std::vector<std::string> ColumnValues(const std::string& statement, const std::string& column)
{
    TRecordSet rows;
    OpenQuery(CatalogueConnection.get(), rows, statement);
    std::vector<std::string> values;
    for (; !rows.Eof(); rows.MoveNext())
        values.push_back(FieldValue(rows, column));
    CloseQuery(rows);
    return values;
}

// A program folder holding the shipped definition file and a catalogue made
// from it, with the shared connection open on it.
class CatalogueFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        Folder.CopyStationFile("tavrin.dbi");
        // An empty file is an empty database: updating it skips the pause after creating one.
        Folder.Write("tavrin.mdb", "");
        ASSERT_TRUE(PrepareCatalogue(CatalogueFilePath(), true));
        OpenCatalogueConnection(CatalogueConnection, CatalogueFilePath());
        ASSERT_TRUE(CatalogueConnection->IsOpen());
    }
    void TearDown() override { CatalogueConnection.reset(); }

    // Runs a statement that returns no rows.
    static void Run(const std::string& statement)
    {
        TRecordSet rows;
        OpenQuery(CatalogueConnection.get(), rows, statement);
        EXPECT_FALSE(rows.Active()) << statement;
    }

    // One column of every row a statement returns.
    static std::vector<std::string> Column(const std::string& statement, const std::string& column)
    {
        return ColumnValues(statement, column);
    }

    TScratchProgramFolder Folder;
};

}  // namespace tavrin::testing
