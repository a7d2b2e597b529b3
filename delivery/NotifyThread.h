#pragma once

#include "delivery/NotifyMessage.h"
#include "shell/TaskThread.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tavrin {

class TSMTPClient;

// The notification task: one e-mail to the recipients chosen for a queued
// job, with the link to its web proof and the overview of page 1 inline.
// It fails when the job is not catalogued, has no recipients, or the server
// did not accept the message; the error is a log line and the reason. The
// completion WM_NOTIFY_DONE always follows.
class TNotifyThread final : public TTaskThread {
public:
    TNotifyThread(TMessageTarget& target, std::uint32_t jobReference);

protected:
    void Run() override;

private:
    // WM_TOTAL_PROGRESS: a log text and the total progress (-1: no change).
    void PostLog(const std::string& text, int progress);
    // WM_TASK_PROGRESS: a log text and the task progress (-1: no change).
    void PostTaskLog(const std::string& text, int progress);

    // The job's queue entry's recipients text; empty without an entry.
    std::string QueuedRecipients() const;
    // The address book's mailboxes for the recipients text, in the order the
    // catalogue returns them; contacts without an address are left out.
    static std::vector<TMailbox> RecipientMailboxes(const std::string& recipients);

    // Connect, greeting, "EHLO" or "HELO"; raises ESMTPError. Returns the
    // reply that lists the extensions.
    static std::string Greet(TSMTPClient& client, const std::string& host, std::uint16_t port);
    // From "RSET" to "."; raises on any failure, the message then was not accepted.
    static void Deliver(TSMTPClient& client, const TNotifyMessage& message, const TSettingsRecord& settings,
                        const std::string& extensions);
    // The whole conversation, ending with "QUIT"; the error text when the
    // message was not accepted, after a log line with it.
    std::optional<std::string> Send(const TNotifyMessage& message, const TSettingsRecord& settings);
};

}  // namespace tavrin
