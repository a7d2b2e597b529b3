#include "station/Station.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/settings/SharedSettings.h"
#include "station/TaskKinds.h"

namespace tavrin {

TStation::TStation(TMessageTarget& target, TStationLog& log, TOperatorDialogs& dialogs)
    : Runner(target, log, dialogs, StationTaskKinds(), [this](std::uint32_t job) { return TaskContext(job); }),
      Startup(Runner, log, dialogs)
{
}

TTaskContext TStation::TaskContext(std::uint32_t jobReference) const
{
    return {StationSettings().Copy(), *CatalogueConnection, jobReference};
}

void TStation::Open()
{
    if (Opened)
        return;
    Opened = true;
    OpenStationFiles();
    LoadLists();
}

void TStation::OpenForReading()
{
    if (Opened)
        return;
    Opened = true;
    OpenStationFilesForReading();
    LoadLists();
}

void TStation::LoadLists()
{
    TSettingsRecord settings = StationSettings().Copy();
    ConfigurationCheck(settings);
    StationSettings().Assign(settings);
    Runner.ReloadQueueList();
    Runner.ReloadPostQueueList();
}

bool TStation::IsCatalogued(std::uint32_t jobReference) const
{
    TJobDetailRecord job;
    LoadJobDetail(static_cast<std::int32_t>(jobReference), job);
    return job.ID != 0;
}

std::vector<TPlateCoverage> TStation::InkCoverage(std::uint32_t jobReference) const
{
    return LoadJobCoverage(jobReference);
}

TPlateVerification TStation::VerifyPlates(std::uint32_t jobReference) const
{
    return VerifyJobPlates(jobReference, StationSettings().Copy().InputFolder);
}

TJobAnswers TStation::Answers(std::uint32_t jobReference) const
{
    return LoadJobAnswers(jobReference);
}

}  // namespace tavrin
