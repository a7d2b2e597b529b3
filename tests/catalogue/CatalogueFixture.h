#pragma once

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueDefinition.h"
#include "base/settings/SharedSettings.h"
#include "base/tasking/TaskContext.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavrin::testing {

// Runs a statement and returns one column of every row.
inline std::vector<std::string> ColumnValues(TCatalogueConnection& catalogue, const std::string& statement,
                                             const std::string& column)
{
    TRecordSet rows;
    OpenQuery(catalogue, rows, statement);
    std::vector<std::string> values;
    for (; !rows.Eof(); rows.MoveNext())
        values.push_back(FieldValue(rows, column));
    CloseQuery(rows);
    return values;
}

// A program folder holding the shipped definition file and a catalogue made
// from it, with a connection open on it, and the station's settings of this
// test: each test has its own, so nothing one changes reaches the next.
class CatalogueFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        Folder.CopyStationFile("tavrin.dbi");
        // An empty file is an empty database: updating it skips the pause after creating one.
        Folder.Write("tavrin.mdb", "");
        ASSERT_TRUE(PrepareCatalogue(CatalogueFilePath(), true));
        OpenCatalogueConnection(Catalogue, CatalogueFilePath());
        ASSERT_TRUE(Catalogue.IsOpen());
    }
    void TearDown() override { Catalogue.Close(); }

    // Runs a statement that returns no rows.
    void Run(const std::string& statement)
    {
        TRecordSet rows;
        OpenQuery(Catalogue, rows, statement);
        EXPECT_FALSE(rows.Active()) << statement;
    }

    // One column of every row a statement returns.
    std::vector<std::string> Column(const std::string& statement, const std::string& column)
    {
        return ColumnValues(Catalogue, statement, column);
    }

    // A task's context for the job: the settings as they are now and the catalogue.
    TTaskContext TaskContext(std::uint32_t jobReference) { return {Settings.Copy(), Catalogue, jobReference}; }

    // What a runner makes its contexts with: TaskContext at each chain's start.
    std::function<TTaskContext(std::uint32_t)> ContextMaker()
    {
        return [this](std::uint32_t jobReference) { return TaskContext(jobReference); };
    }

    TScratchProgramFolder Folder;
    TSharedSettings Settings;
    TCatalogueConnection Catalogue;
};

}  // namespace tavrin::testing
