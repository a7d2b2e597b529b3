#pragma once

#include "base/catalogue/JobTree.h"

#include <string>

namespace tavrin {

class TCatalogueConnection;
class TSharedSettings;
struct TSettingsRecord;
class TOperatorDialogs;
class TQueueRunner;
class TStationLog;

// Lists every setting that still needs configuring, one line each ended by
// CR LF, and tests the colour profiles when any is set: ProfilesValid
// becomes true only when they build a colour table. Returns the message with
// its surrounding white space removed; empty when all is well.
std::string ConfigurationCheck(TSettingsRecord& settings);

// The lines of the check about protecting the sessions, each ended by CR LF:
// a security choice or a fingerprint that is not one, and a password that
// would travel unencrypted to a host other than this machine.
std::string ConnectionSecurityCheck(const TSettingsRecord& settings);

// The station's files made ready: the settings file read into the station's
// settings (its keys replace the record's; the approval text and the profile
// check stay), the catalogue created or brought up to date from its
// definition file, and the station's connection open on it. Raises with the
// file and the reason when the catalogue cannot be made ready.
void OpenStationFiles(TSharedSettings& settings, TCatalogueConnection& catalogue);

// The same for a command that only reads: the settings file read, the
// catalogue opened read-only as it is. Nothing is created or updated, so
// it works on a read-only program folder and beside a running station.
// Raises with the file and the reason when there is no catalogue yet, when
// it cannot be opened, or when it is older than its definition file (the
// connection then stays closed).
void OpenStationFilesForReading(TSharedSettings& settings, TCatalogueConnection& catalogue);

// The operation that brings the station up, run at process start and again
// whenever the configuration dialog closes: load the settings, prepare and
// open the catalogue, check the configuration (telling the operator what is
// missing), scan the page buffer folder into the tree, reload the queue and
// post-queue lists and select the first queue row. Window bounds and hints
// belong to the windows. A catalogue that cannot be made ready or a scan
// error is raised, with the file and the reason in its text.
class TStartupOperation {
public:
    // Works on the station's settings and catalogue connection.
    TStartupOperation(TQueueRunner& runner, TStationLog& log, TOperatorDialogs& dialogs, TSharedSettings& settings,
                      TCatalogueConnection& catalogue);

    void Run();

    bool FirstRunDone() const { return FirstRun; }
    const TJobTree& Tree() const { return JobTree; }

    // What the start-up loads and opens, for the windows that show or change it.
    TSharedSettings& Settings() const { return SharedSettings; }
    TCatalogueConnection& Catalogue() const { return Connection; }

    // Rescans the page buffer folder and rebuilds the tree (the Refresh
    // button). False when the folder could not be listed (logged): the tree
    // then shows what the catalogue already had.
    bool RebuildJobTree();

private:
    TQueueRunner& Runner;
    TStationLog& Log;
    TOperatorDialogs& Dialogs;
    TSharedSettings& SharedSettings;
    TCatalogueConnection& Connection;
    TJobTree JobTree;
    bool FirstRun = false;
};

}  // namespace tavrin
