#include "tasks/delivery/NotifyThread.h"

#include "base/catalogue/CarriedAnswers.h"
#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/DueDates.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/ProofFingerprint.h"
#include "base/catalogue/ProofRounds.h"
#include "base/catalogue/Reminders.h"
#include "base/catalogue/RoundChanges.h"
#include "engines/delivery/ConfiguredSessions.h"
#include "engines/delivery/MailAddress.h"
#include "engines/delivery/RoundMailLine.h"
#include "engines/delivery/SMTPClient.h"

#include <Poco/Environment.h>

#include <algorithm>
#include <sstream>

namespace tavrin {

namespace {

// The decimal items of a recipients text, joined by commas again. The text
// goes into a statement as it stands, so anything else that a hand-edited
// catalogue might hold is left out.
std::string RecipientIDList(const std::string& recipients)
{
    std::string list;
    std::istringstream items(recipients);
    for (std::string item; std::getline(items, item, ',');) {
        const bool decimal =
            !item.empty() && item.size() <= 10 && item.find_first_not_of("0123456789") == std::string::npos;
        if (decimal)
            list += (list.empty() ? "" : ",") + item;
    }
    return list;
}

// A reply of the server on one log line.
std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

std::optional<TMailRound> MailRoundOf(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    const TProofRound round = LoadProofRound(catalogue, jobReference);
    if (round.EarlierReference == 0)
        return std::nullopt;
    const std::optional<TRoundChanges> changes = LoadRoundChanges(catalogue, jobReference);
    if (!changes || changes->EarlierReference != round.EarlierReference)
        return TMailRound{round.Number, RoundWithoutCompareLine(round.Number)};
    TCarriedAnswers carried = LoadCarriedAnswers(catalogue, jobReference);
    // A page the customer answered again in this round goes by that answer, as the status does.
    TJobDetailRecord job;
    LoadJobDetail(catalogue, static_cast<std::int32_t>(jobReference), job);
    for (const auto& [page, answer] : LatestPageAnswers(LoadProofAnswers(catalogue, jobReference), job.PageCount,
                                                        LoadJobFingerprint(catalogue, jobReference)))
        carried.erase(page);
    return TMailRound{round.Number, RoundChangesLine(round.Number, round.Number - 1, changes->Pages, carried)};
}

TNotifyThread::TNotifyThread(TMessageTarget& target, const TTaskContext& context)
    : TTaskThread(target, context.JobReference(), WM_NOTIFY_DONE), Context(context)
{
}

void TNotifyThread::PostLog(const std::string& text, int progress)
{
    PostLogText(text, progress);
}

void TNotifyThread::PostTaskLog(const std::string& text, int progress)
{
    PostTaskText(text, progress);
}

std::string TNotifyThread::QueuedRecipients() const
{
    return FirstFieldValue(Context.Catalogue(),
                           "select * from QueueList where QueueListJobReference = " + std::to_string(JobReference()),
                           "QueueListRecipients");
}

std::vector<TMailbox> TNotifyThread::RecipientMailboxes(const std::string& recipients)
{
    std::vector<TMailbox> mailboxes;
    const std::string ids = RecipientIDList(recipients);
    if (ids.empty())
        return mailboxes;
    TRecordSet rows;
    OpenQuery(Context.Catalogue(), rows, "select * from AddressList where AddressListID in (" + ids + ")");
    for (; !rows.Eof(); rows.MoveNext()) {
        TMailbox mailbox = MailboxFromText(FieldValue(rows, "AddressListName"), FieldValue(rows, "AddressListEmail"));
        if (mailbox.Address.empty())
            continue;
        // Contacts are checked when saved, but an older catalogue may hold anything.
        if (IsMailAddress(mailbox.Address)) {
            AddressIDs[mailbox.Address] = ValueAsInteger(FieldValue(rows, "AddressListID"), 0);
            mailboxes.push_back(std::move(mailbox));
        } else
            PostLog("Contact " + FieldValue(rows, "AddressListID") + " (" + MailboxDisplayText(mailbox) +
                        ") skipped: not a mail address",
                    -1);
    }
    CloseQuery(rows);
    return mailboxes;
}

std::string TNotifyThread::Greet(TSMTPClient& client, const TSettingsRecord& settings)
{
    return GreetConfiguredMailServer(client, settings);
}

bool TNotifyThread::AddRecipient(TSMTPClient& client, const TMailbox& recipient)
{
    const TSMTPReply reply = client.Command("RCPT TO:<" + recipient.Address + ">", {});
    if (reply.Code == 250 || reply.Code == 251)
        return true;
    PostLog("Recipient " + recipient.Address + " refused: " + OneLine(reply.Text), -1);
    return false;
}

/*
 * 1. "RSET", whatever the reply.
 * 2. "AUTH LOGIN" (or "AUTH PLAIN" where only that is offered) with the
 *    user name and password when the settings ask for it; in a session the
 *    settings want secure, only once it is.
 * 3. "MAIL FROM", then "RCPT TO" for each To entry and the Cc entry; the
 *    server may refuse some of them.
 * 4. Without an accepted To recipient the message goes nowhere: the Cc alone
 *    would not tell the customer.
 * 5. The message is composed (the overview is read now), then "DATA", the
 *    message and ".", which the server must accept with 250.
 */
std::vector<TMailbox> TNotifyThread::Deliver(TSMTPClient& client, const TNotifyMessage& message,
                                             const TSettingsRecord& settings, const std::string& extensions)
{
    client.Command("RSET", {});
    LogOnToMailServer(client, settings, extensions);
    client.Command("MAIL FROM:<" + message.From.Address + ">", {250});
    std::vector<TMailbox> accepted;
    for (const TMailbox& recipient : message.To)
        if (AddRecipient(client, recipient))
            accepted.push_back(recipient);
    const bool copyAccepted = message.Cc && AddRecipient(client, *message.Cc);
    if (accepted.empty())
        throw ESMTPError(copyAccepted ? "The mail server refused every To recipient; the Cc alone would not tell "
                                        "the customer"
                                      : "The mail server refused every recipient");
    const std::string text = ComposedMessage(message);
    client.Command("DATA", {354});
    client.SendMessageText(text);
    return accepted;
}

std::optional<std::string> TNotifyThread::Send(const TNotifyMessage& message, const TSettingsRecord& settings,
                                               std::vector<TMailbox>& delivered)
{
    std::optional<std::string> failure;
    TSMTPClient client;
    bool expiryNoted = false;
    // Whatever happens after the handshake, the operator learns that the pin alone let it pass.
    const auto noteExpiry = [&] {
        if (!expiryNoted && client.CertificateAccepted() && client.Certificate() && client.Certificate()->Expired)
            PostLog(PinnedExpiryNotice(settings.SMTPHost, *client.Certificate()), -1);
        expiryNoted = true;
    };
    try {
        const std::string extensions = Greet(client, settings);
        noteExpiry();
        delivered = Deliver(client, message, settings, extensions);
    } catch (const std::exception& error) {
        noteExpiry();
        failure = error.what();
        PostLog(*failure, -1);
    }
    client.Close();
    return failure;
}

/*
 * 1. The job record and the settings; a job that is not catalogued fails.
 * 2. The recipients of the job's queue entry; without any, one log line and
 *    the task fails.
 * 3. Without a To recipient that has a mail address, nothing is sent and
 *    the task fails; a Cc that is not a mail address is left out, with a
 *    log line.
 * 4. "Sending email to ", the conversation, then "Done sending email to "
 *    the recipients that got it, only when the server accepted the message;
 *    otherwise its error is logged and the task fails.
 * The client and the message are gone before the base posts the completion.
 */
void TNotifyThread::Run()
{
    const auto reference = static_cast<std::int32_t>(JobReference());
    TJobDetailRecord job;
    LoadJobDetail(Context.Catalogue(), reference, job);
    if (job.ID <= 0) {
        Fail("Job " + std::to_string(JobReference()) + " is not in the catalogue.");
        return;
    }
    const TSettingsRecord& settings = Context.Settings();
    TNotifyMessage message = NotifyMessageFor(job, JobOutputFolder(Context.Catalogue(), reference), settings,
                                              MailRoundOf(Context.Catalogue(), JobReference()),
                                              LoadDueDate(Context.Catalogue(), JobReference()));

    const std::string recipients = QueuedRecipients();
    if (recipients.empty()) {
        const std::string reason = "There were no recipients to send the message to";
        PostLog(reason, 100);
        Fail(reason);
        return;
    }
    message.To = RecipientMailboxes(recipients);
    if (message.Cc && !IsMailAddress(message.Cc->Address)) {
        PostLog("The Cc " + MailboxDisplayText(*message.Cc) + " is not a mail address; no copy is sent", -1);
        message.Cc.reset();
    }
    if (message.To.empty()) {
        const std::string reason = "The e-mail was not sent: none of the recipients has a mail address";
        PostLog(reason, 100);
        Fail(reason);
        return;
    }

    const std::string toText = MailboxListText(message.To);
    PostTaskLog("Sending email to " + toText, 0);
    std::vector<TMailbox> delivered;
    const std::optional<std::string> failure = Send(message, settings, delivered);
    if (failure) {
        Fail("The e-mail to " + toText + " was not sent: " + *failure);
        return;
    }
    PostTaskLog("Done sending email to " + MailboxListText(delivered), 0);
    RememberRecipients(delivered);
}

void TNotifyThread::RememberRecipients(const std::vector<TMailbox>& delivered)
{
    std::vector<std::int32_t> ids;
    for (const TMailbox& mailbox : delivered)
        if (const auto id = AddressIDs.find(mailbox.Address); id != AddressIDs.end() && id->second > 0)
            ids.push_back(id->second);
    try {
        SaveNotifiedRecipients(Context.Catalogue(), JobReference(), ids);
    } catch (const std::exception& error) {
        // The mail went out all the same; only its reminders are lost.
        PostLog("Job " + std::to_string(JobReference()) +
                    ": who was notified could not be kept for reminders: " + error.what(),
                -1);
    }
}

}  // namespace tavrin
