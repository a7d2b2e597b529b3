#include "tasks/delivery/ReminderThread.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/DueDates.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/Reminders.h"
#include "engines/delivery/ConfiguredSessions.h"
#include "engines/delivery/MailAddress.h"
#include "engines/delivery/SMTPClient.h"
#include "tasks/delivery/NotifyThread.h"

namespace tavrin {

namespace {

std::uint32_t ReportedReference(const std::vector<std::uint32_t>& jobs)
{
    return jobs.size() == 1 ? jobs.front() : 0;
}

}  // namespace

TReminderThread::TReminderThread(TMessageTarget& target, const TTaskContext& context,
                                 std::vector<std::uint32_t> jobReferences)
    : TTaskThread(target, ReportedReference(jobReferences), WM_REMINDERS_DONE), Context(context),
      Jobs(std::move(jobReferences))
{
}

std::optional<TMailbox> TReminderThread::ContactMailbox(std::int32_t addressID)
{
    TRecordSet rows;
    OpenQuery(Context.Catalogue(), rows,
              "select * from AddressList where AddressListID = " + std::to_string(addressID));
    std::optional<TMailbox> mailbox;
    if (!rows.Eof()) {
        TMailbox found = MailboxFromText(FieldValue(rows, "AddressListName"), FieldValue(rows, "AddressListEmail"));
        if (IsMailAddress(found.Address))
            mailbox = found;
    }
    CloseQuery(rows);
    return mailbox;
}

void TReminderThread::Send(const TNotifyMessage& message)
{
    const TSettingsRecord& settings = Context.Settings();
    TSMTPClient client;
    try {
        const std::string extensions = GreetConfiguredMailServer(client, settings);
        client.Command("RSET", {});
        LogOnToMailServer(client, settings, extensions);
        client.Command("MAIL FROM:<" + message.From.Address + ">", {250});
        const TSMTPReply reply = client.Command("RCPT TO:<" + message.To.front().Address + ">", {});
        if (reply.Code != 250 && reply.Code != 251)
            throw ESMTPError("the mail server refused the recipient: " + reply.Text);
        const std::string text = ComposedMessage(message);
        client.Command("DATA", {354});
        client.SendMessageText(text);
    } catch (...) {
        client.Close();
        throw;
    }
    client.Close();
}

/*
 * 1. The job and its due date; without one there is nothing to remind of.
 * 2. Each notified contact not yet reminded for that date: its mailbox as
 *    the address book has it now (a contact without one is passed over
 *    with a log line), the reminder sent, then kept.
 */
void TReminderThread::RemindJob(std::uint32_t jobReference, std::vector<std::string>& problems)
{
    const std::string job = "Job " + std::to_string(jobReference);
    TJobDetailRecord record;
    LoadJobDetail(Context.Catalogue(), static_cast<std::int32_t>(jobReference), record);
    const std::optional<TCalendarDate> due = LoadDueDate(Context.Catalogue(), jobReference);
    if (record.ID <= 0 || !due)
        return;
    const TNotifyMessage reminder =
        ReminderMessageFor(record, JobOutputFolder(Context.Catalogue(), static_cast<std::int32_t>(jobReference)),
                           Context.Settings(), MailRoundOf(Context.Catalogue(), jobReference), *due);
    for (const std::int32_t addressID : RecipientsToRemind(Context.Catalogue(), jobReference, *due)) {
        const std::optional<TMailbox> mailbox = ContactMailbox(addressID);
        if (!mailbox) {
            PostLogText(job + ": contact " + std::to_string(addressID) + " has no mail address now; no reminder");
            continue;
        }
        TNotifyMessage message = reminder;
        message.To = {*mailbox};
        message.Cc.reset();  // the shop's copy came with the notification
        try {
            Send(message);
        } catch (const std::exception& error) {
            const std::string problem =
                job + ": the reminder to " + MailboxDisplayText(*mailbox) + " was not sent: " + error.what();
            PostLogText(problem);
            problems.push_back(problem);
            continue;
        }
        RecordReminder(Context.Catalogue(), jobReference, addressID, *due);
        PostLogText(job + ": reminder sent to " + MailboxDisplayText(*mailbox));
    }
}

void TReminderThread::Run()
{
    std::vector<std::string> problems;
    for (std::size_t index = 0; index < Jobs.size(); ++index) {
        PostTaskText("", static_cast<int>(index * 100 / Jobs.size()));
        RemindJob(Jobs[index], problems);
    }
    PostTaskText("", 100);
    if (problems.size() == 1)
        Fail(problems.front());
    else if (!problems.empty())
        Fail(std::to_string(problems.size()) + " reminders were not sent; the first: " + problems.front());
}

}  // namespace tavrin
