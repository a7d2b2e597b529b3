#pragma once

#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskThread.h"
#include "engines/delivery/NotifyMessage.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tavrin {

class TSMTPClient;
class TCatalogueConnection;

// What the mail says of the job's round: nothing for a first proof; for a
// later one the stored compare with the round it is linked to now and the
// answers its unchanged pages keep, or only its number where that compare
// was never made (the proof was not built again since the link).
std::optional<TMailRound> MailRoundOf(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// The notification task: one e-mail to the recipients chosen for a queued
// job, with the link to its web proof and the overview of page 1 inline.
// A recipient the server refuses is a log line and costs the others nothing.
// It fails when the job is not catalogued, has no recipient with a mail
// address, the server accepted none of the To recipients (the Cc alone is the
// shop's own copy) or did not accept the message; the error is a log line
// and the reason. The contacts the mail reached are kept with the job for
// its reminders. The completion WM_NOTIFY_DONE always follows.
class TNotifyThread final : public TTaskThread {
public:
    TNotifyThread(TMessageTarget& target, const TTaskContext& context);

protected:
    void Run() override;

private:
    const TTaskContext Context;

    // WM_TOTAL_PROGRESS: a log text and the total progress (-1: no change).
    void PostLog(const std::string& text, int progress);
    // WM_TASK_PROGRESS: a log text and the task progress (-1: no change).
    void PostTaskLog(const std::string& text, int progress);

    // The job's queue entry's recipients text; empty without an entry.
    std::string QueuedRecipients() const;
    // The address book's mailboxes for the recipients text, in the order the
    // catalogue returns them; contacts without an address are left out, and
    // one whose address is not a mail address is left out with a log line.
    std::vector<TMailbox> RecipientMailboxes(const std::string& recipients);

    // Connect, greeting, "EHLO" or "HELO"; raises ESMTPError. Returns the
    // reply that lists the extensions.
    static std::string Greet(TSMTPClient& client, const TSettingsRecord& settings);
    // "RCPT TO" for one mailbox: true when the server accepted it; a refusal
    // is a log line with the address and the server's reply.
    bool AddRecipient(TSMTPClient& client, const TMailbox& recipient);
    // From "RSET" to "."; raises on any failure, the message then was not
    // accepted. Returns the To recipients the server accepted.
    std::vector<TMailbox> Deliver(TSMTPClient& client, const TNotifyMessage& message, const TSettingsRecord& settings,
                                  const std::string& extensions);
    // The whole conversation, ending with "QUIT": the To recipients that got
    // the message, or the error text when it was not accepted, after a log
    // line with it.
    std::optional<std::string> Send(const TNotifyMessage& message, const TSettingsRecord& settings,
                                    std::vector<TMailbox>& delivered);
    // Keeps the contacts of the delivered mailboxes with the job; a failure is a log line.
    void RememberRecipients(const std::vector<TMailbox>& delivered);

    // The contact of each recipient's address.
    std::map<std::string, std::int32_t> AddressIDs;
};

}  // namespace tavrin
