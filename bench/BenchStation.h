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
// jobs, opened on catalogue; returns the record of the first job. The caller
// closes the catalogue and removes the folder when done.
inline TJobDetailRecord CatalogueBenchJob(TCatalogueConnection& catalogue, const std::filesystem::path& folder,
                                          const std::string& inputFolder)
{
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(std::filesystem::path(testing::BuiltProgramFolder()) / "tavrin.dbi",
                               folder / "tavrin.dbi");
    OverrideProgramFilePath((folder / "tavrin").string());
    PrepareCatalogue(CatalogueFilePath(), false);
    OpenCatalogueConnection(catalogue, CatalogueFilePath());
    TSettingsRecord settings;
    settings.InputFolder = inputFolder;
    TStationLog log;
    ScanPageBufferFolder(catalogue, settings, log);
    TRecordSet jobs;
    OpenQuery(catalogue, jobs, "select * from JobList");
    const std::int32_t reference = ValueAsInteger(FieldValue(jobs, "JobListReference"), 0);
    CloseQuery(jobs);
    TJobDetailRecord job;
    LoadJobDetail(catalogue, reference, job);
    return job;
}

}  // namespace tavrin::bench
