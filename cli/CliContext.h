#pragma once

#include "base/platform/MessageQueue.h"
#include "base/tasking/StationLog.h"

#include <string>
#include <vector>

namespace tavrin {

// Exit statuses of tavrin-cli.
enum TExitStatus : int { ExitDone = 0, ExitFailed = 1, ExitUsage = 2 };

// What every command of the front end works with: the station's log, which
// prints each line to standard output, and the message queue that the main
// thread pumps in place of a window.
class TCliContext {
public:
    // readsOnly: no command of the run changes the station's files (see
    // TCliAccess), so the run opens them read-only and writes no log file.
    explicit TCliContext(bool readsOnly = false);

    const bool ReadsOnly;
    TStationLog Log;
    TMessageQueue Messages;
};

// The text with the CR of each CR LF taken out: message boxes break lines
// the Windows way, a terminal the plain way.
std::string WithoutCarriageReturns(std::string text);

// Whether a command may change the station's files, and so needs the
// station to itself, or only reads them.
enum class TCliAccess { Changes, ReadsOnly };

// One command: its words ("queue add"), its argument synopsis, its help line, its body and its access.
struct TCliCommand {
    std::vector<std::string> Words;
    std::string Arguments;
    std::string Help;
    int (*Run)(TCliContext& context, const std::vector<std::string>& arguments);
    TCliAccess Access = TCliAccess::Changes;
};

}  // namespace tavrin
