#pragma once

#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskThread.h"
#include "engines/delivery/FTPClient.h"
#include "engines/delivery/WebHostSession.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// The largest replies file the station takes: the answer endpoint never
// writes more, so anything larger is not its work.
constexpr std::size_t MaxRepliesFileBytes = 1024 * 1024;

// What came of fetching one job's replies file into the catalogue.
struct TRepliesFetch {
    enum class TOutcome {
        Stored,      // the file's answers are in the catalogue
        NoFile,      // the server has no replies file (550): no answers yet
        TooLarge,    // over MaxRepliesFileBytes: nothing read
        NotFetched,  // the transfer failed; Problem says why
        NotStored,   // the catalogue refused the answers; Problem says why
    };
    TOutcome Outcome = TOutcome::NotFetched;
    std::string Problem;
    // The answers the file holds, and how many of them were new.
    int OnServer = 0;
    int Added = 0;
};

// Fetches the replies file at path (RETR, over the client's open session)
// and adds the answers about the job folder to the job's answers in the
// catalogue. The first few skipped lines of the file are handed to skipped,
// each as the rest of a log line that names the file (" line 3: not valid
// JSON; it reads ..."), then, when there were more, their count (": 4995
// more lines were skipped."). Raises nothing.
TRepliesFetch FetchRepliesIntoCatalogue(TCatalogueConnection& catalogue, TFTPClient& client, std::uint32_t jobReference,
                                        const std::string& path, const std::string& jobFolder,
                                        const std::function<void(const std::string& skipped)>& skipped);

// Fetches the customers' answers: the replies file of each job's folder on
// the web server (RETR, in one session), read line by line and added to the
// catalogue. A job without a replies file has no answers yet. Damaged lines
// are logged and skipped; a file that cannot be fetched, or is over 1 MB,
// is logged and fails the task at the end, after the other jobs were done.
// Ends with WM_ANSWERS_DONE; its job reference is the one job asked for, or
// 0 for several.
class TAnswersThread final : public TTaskThread {
public:
    TAnswersThread(TMessageTarget& target, const TTaskContext& context, std::vector<std::uint32_t> jobReferences);

protected:
    void Run() override;

private:
    // One job's file: fetched, read and stored, or a problem noted.
    void RefreshJob(std::uint32_t jobReference, const std::string& jobsFolder);
    // Logs on and asks for binary transfers; raises EFTPError.
    void LogOnForFiles();
    void NotDone(const std::string& problem);

    const TTaskContext Context;
    const std::vector<std::uint32_t> Jobs;
    std::optional<TWebHostSession> Session;
    std::vector<std::string> Problems;
};

}  // namespace tavrin
