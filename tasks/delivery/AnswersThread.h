#pragma once

#include "tasks/delivery/CustomTransferThread.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// The largest replies file the station takes: the answer endpoint never
// writes more, so anything larger is not its work.
constexpr std::size_t MaxRepliesFileBytes = 1024 * 1024;

// Fetches the customers' answers: the replies file of each job's folder on
// the web server (RETR, in one session), read line by line and added to the
// catalogue. A job without a replies file has no answers yet. Damaged lines
// are logged and skipped; a file that cannot be fetched, or is over 1 MB,
// is logged and fails the task at the end, after the other jobs were done.
// Ends with WM_ANSWERS_DONE; its job reference is the one job asked for, or
// 0 for several.
class TAnswersThread final : public TCustomTransferThread {
public:
    TAnswersThread(TMessageTarget& target, std::vector<std::uint32_t> jobReferences);

protected:
    void Run() override;

private:
    // One job's file: fetched, read and stored, or a problem noted.
    void RefreshJob(std::uint32_t jobReference, const std::string& jobsFolder);
    // Logs on and asks for binary transfers; raises EFTPError.
    void LogOnForFiles();
    void NotDone(const std::string& problem);

    const std::vector<std::uint32_t> Jobs;
    std::vector<std::string> Problems;
};

}  // namespace tavrin
