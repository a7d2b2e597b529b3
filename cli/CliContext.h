#pragma once

#include "platform/MessageQueue.h"
#include "shell/StationLog.h"

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
    TCliContext();

    TStationLog Log;
    TMessageQueue Messages;
};

// One command: its words ("queue add"), its argument synopsis, its help line and its body.
struct TCliCommand {
    std::vector<std::string> Words;
    std::string Arguments;
    std::string Help;
    int (*Run)(TCliContext& context, const std::vector<std::string>& arguments);
};

}  // namespace tavrin
