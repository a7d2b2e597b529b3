#pragma once

#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskThread.h"
#include "base/text/CalendarDate.h"
#include "engines/delivery/NotifyMessage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// Sends the reminders of the given jobs: for each job with a due date, one
// mail to each contact its notification reached who has not been reminded
// for that date yet, each in a session of its own, so that one refusal costs
// the others nothing. A reminder sent is kept in the catalogue at once and
// logged as "Job 101: reminder sent to Zoe Lang <zoe@example.com>"; one
// that was not sent is logged with the reason and fails the task at the
// end, and is tried again the next time. Which jobs are due is the
// station's choice. Ends with WM_REMINDERS_DONE; its job reference is the
// one job given, or 0 for several.
class TReminderThread final : public TTaskThread {
public:
    TReminderThread(TMessageTarget& target, const TTaskContext& context, std::vector<std::uint32_t> jobReferences);

protected:
    void Run() override;

private:
    // The job's reminders; the texts of those that were not sent are added to problems.
    void RemindJob(std::uint32_t jobReference, std::vector<std::string>& problems);
    // The contact's mailbox from the address book; nothing when it has no mail address now.
    std::optional<TMailbox> ContactMailbox(std::int32_t addressID);
    // One reminder in a session of its own; raises the error that stopped it.
    void Send(const TNotifyMessage& message);

    const TTaskContext Context;
    const std::vector<std::uint32_t> Jobs;
};

}  // namespace tavrin
