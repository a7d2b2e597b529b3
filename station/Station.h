#pragma once

#include "base/catalogue/CatalogueConnection.h"
#include "base/catalogue/InkCoverage.h"
#include "base/settings/SharedSettings.h"
#include "station/JobAnswers.h"
#include "station/PlateVerification.h"
#include "station/QueueRunner.h"
#include "station/StartupOperation.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TMessageTarget;
class TOperatorDialogs;
class TStationLog;

// The station both front ends run: the queue runner with the station's own
// tasks, the start-up operation, and the station's files (settings and
// catalogue). The window and tavrin-cli each make one over their message
// target, log and dialogs, and ask it; neither wires these parts nor reads
// the catalogue itself. The station owns the one settings record and the one
// catalogue connection of the process: every part below gets them from here.
class TStation {
public:
    // The target must deliver the tasks' messages to Runner.
    TStation(TMessageTarget& target, TStationLog& log, TOperatorDialogs& dialogs);

    // What a command needs without a scan of the page buffer folder: the
    // settings loaded, the catalogue ready and open, the configuration
    // checked without telling (for the colour profiles), the queue lists
    // loaded. Done once; the full start-up is Startup.Run(). Raises with the
    // file and the reason when a file cannot be made ready.
    void Open();

    // The same for commands that only read: the files opened as they are
    // (OpenStationFilesForReading), never created or updated. Done once,
    // and instead of Open.
    void OpenForReading();

    // Settings and catalogue only, for a command that runs one task by
    // itself (OpenStationFiles). Raises like Open.
    void OpenFiles();

    // Whether the job is in the catalogue.
    bool IsCatalogued(std::uint32_t jobReference) const;

    // The job's ink figures from its last mastering: in page order, then in
    // plate order; empty when it has none (mastered before they were kept,
    // or not mastered).
    std::vector<TPlateCoverage> InkCoverage(std::uint32_t jobReference) const;

    // The job's plates in the page buffer folder now against those its proof
    // was made from (the folder as the catalogue last scanned it); the result
    // is kept for the post queue's "Ready for plates".
    TPlateVerification VerifyPlates(std::uint32_t jobReference) const;

    // The customers' answers of a job as stored, against its current proof.
    TJobAnswers Answers(std::uint32_t jobReference) const;

    // A task's context: the settings as they are now and the station's catalogue.
    TTaskContext TaskContext(std::uint32_t jobReference) const;

    TSharedSettings& Settings() { return SharedSettings; }
    TCatalogueConnection& Catalogue() { return Connection; }

private:
    // Made before the parts below, which keep references to them. Reading
    // the catalogue is no change of the station, hence mutable.
    TSharedSettings SharedSettings;
    mutable TCatalogueConnection Connection;

public:
    TQueueRunner Runner;
    TStartupOperation Startup;

private:
    // The silent configuration check and the queue lists.
    void LoadLists();

    bool Opened = false;
};

}  // namespace tavrin
