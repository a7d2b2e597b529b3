#pragma once

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueDefinition.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrin::testing {

// Runs the front end from a copy in a scratch program folder, so that it
// works on that folder's files and never on the build's program folder.
class ScratchStation : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* station = std::getenv("TAVRIN_STATION_DIR");
        Station = station ? station : ".";
        std::filesystem::copy_file(std::filesystem::path(Station) / "tavrin-cli", Folder.Path("tavrin-cli"));
        setenv("TAVRIN_STATION_DIR", Folder.Path("").c_str(), 1);
    }
    void TearDown() override { setenv("TAVRIN_STATION_DIR", Station.c_str(), 1); }

    // Copies a file of the build's program folder into the scratch one.
    void CopyFromStation(const std::string& name) const
    {
        std::filesystem::copy_file(std::filesystem::path(Station) / name, Folder.Path(name));
    }

    // Makes the station's catalogue from the shipped definition file, runs
    // the statements on it and closes it again, for the front end to open.
    void MakeCatalogue(const std::vector<std::string>& statements) const
    {
        CopyFromStation("tavrin.dbi");
        ASSERT_TRUE(PrepareCatalogue(CatalogueFilePath(), true));
        TCatalogueConnection catalogue;
        OpenCatalogueConnection(catalogue, CatalogueFilePath());
        for (const std::string& statement : statements) {
            TRecordSet rows;
            OpenQuery(catalogue, rows, statement);
        }
    }

    std::string Station;
    TScratchProgramFolder Folder;
};

}  // namespace tavrin::testing
