#include "station/Station.h"

#include "base/catalogue/JobDetailRecord.h"
#include "station/TaskKinds.h"

namespace tavrin {

TStation::TStation(TMessageTarget& target, TStationLog& log, TOperatorDialogs& dialogs)
    : Runner(
          target, log, dialogs, StationTaskKinds(), [this](std::uint32_t job) { return TaskContext(job); }, Connection,
          SharedSettings),
      Startup(Runner, log, dialogs, SharedSettings, Connection)
{
}

TTaskContext TStation::TaskContext(std::uint32_t jobReference) const
{
    return {SharedSettings.Copy(), Connection, jobReference};
}

void TStation::Open()
{
    if (Opened)
        return;
    Opened = true;
    OpenStationFiles(SharedSettings, Connection);
    LoadLists();
}

void TStation::OpenForReading()
{
    if (Opened)
        return;
    Opened = true;
    OpenStationFilesForReading(SharedSettings, Connection);
    LoadLists();
}

void TStation::OpenFiles()
{
    OpenStationFiles(SharedSettings, Connection);
}

void TStation::LoadLists()
{
    TSettingsRecord settings = SharedSettings.Copy();
    ConfigurationCheck(settings);
    SharedSettings.Assign(settings);
    Runner.ReloadQueueList();
    Runner.ReloadPostQueueList();
}

bool TStation::IsCatalogued(std::uint32_t jobReference) const
{
    TJobDetailRecord job;
    LoadJobDetail(Connection, static_cast<std::int32_t>(jobReference), job);
    return job.ID != 0;
}

std::vector<TPlateCoverage> TStation::InkCoverage(std::uint32_t jobReference) const
{
    return LoadJobCoverage(Connection, jobReference);
}

TPlateVerification TStation::VerifyPlates(std::uint32_t jobReference) const
{
    return VerifyAndRecordJobPlates(Connection, jobReference, SharedSettings.Copy().InputFolder,
                                    SentTimeText(LocalNow()));
}

TJobAnswers TStation::Answers(std::uint32_t jobReference) const
{
    return LoadJobAnswers(Connection, jobReference);
}

}  // namespace tavrin
