#pragma once

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueDefinition.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/platform/ProgramPath.h"
#include "base/settings/SettingsRecord.h"
#include "base/tasking/StationLog.h"
#include "tasks/catalogue/FolderScan.h"
#include "tests/support/TreePaths.h"

#include <filesystem>
#include <string>

namespace tavrin::bench {

// A scratch station in folder (emptied first, with the built program
// folder's definition file) whose catalogue holds the page buffer folder's
// jobs; returns the record of the first job. The caller resets
// CatalogueConnection and removes the folder when done.
inline TJobDetailRecord CatalogueBenchJob(const std::filesystem::path& folder, const std::string& inputFolder)
{
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(std::filesystem::path(testing::BuiltProgramFolder()) / "tavrin.dbi",
                               folder / "tavrin.dbi");
    OverrideProgramFilePath((folder / "tavrin").string());
    PrepareCatalogue(CatalogueFilePath(), false);
    OpenCatalogueConnection(CatalogueConnection, CatalogueFilePath());
    TSettingsRecord settings;
    settings.InputFolder = inputFolder;
    TStationLog log;
    ScanPageBufferFolder(settings, log);
    TRecordSet jobs;
    OpenQuery(CatalogueConnection.get(), jobs, "select * from JobList");
    const std::int32_t reference = ValueAsInteger(FieldValue(jobs, "JobListReference"), 0);
    CloseQuery(jobs);
    TJobDetailRecord job;
    LoadJobDetail(reference, job);
    return job;
}

}  // namespace tavrin::bench
