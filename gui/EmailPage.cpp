#include "gui/EmailPage.h"

#include "base/settings/SettingsFile.h"
#include "base/settings/SettingsRecord.h"
#include "engines/delivery/ConnectionTest.h"
#include "gui/ConnectionTestButton.h"
#include "gui/FormFields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tavrin {

namespace {

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string Text(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

// A field for a few lines of plain text, named after its setting.
QPlainTextEdit* AddLinesRow(QFormLayout* form, const QString& name, const QString& label, const QString& hint)
{
    auto* edit = new QPlainTextEdit(form->parentWidget());
    edit->setObjectName(name);
    edit->setToolTip(hint);
    edit->setTabChangesFocus(true);
    edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 3 + 2 * edit->frameWidth() + 8);
    form->addRow(new QLabel(label, form->parentWidget()), edit);
    return edit;
}

}  // namespace

TEmailPage::TEmailPage(QWidget* parent) : QWidget(parent)
{
    new QVBoxLayout(this);
    AddServerGroup();
    AddMessageGroup();
    AddTextGroup();
    static_cast<QVBoxLayout*>(layout())->addStretch();
}

void TEmailPage::AddServerGroup()
{
    auto* group = new QGroupBox("Server Settings", this);
    QFormLayout* form = NewFormLayout(group);
    SMTPHost = AddEditRow(form, "SMTPHost", "SMTP Host",
                          "Enter the SMTP host name for sending email. Your ISP can provide this information.");
    SMTPPort = AddEditRow(form, "SMTPPort", "SMTP Port",
                          "Enter the port for the SMTP host. Your ISP can provide this information. The default is "
                          "25, but in recent times, a lot of ISP's have changed this to prevent spamming.");
    AuthenticationRequired =
        AddCheckRow(form, "AuthenticationRequired", "Authentication Required",
                    "Check this box if authentication is required.  Some ISP's do not require authentication since "
                    "they can verify the email is originating from their own network, but recently, more and more "
                    "ISP's are requiring authentication to prevent spammers from using an unsecured wireless network "
                    "to perform mass emailings.");
    connect(AuthenticationRequired, &QCheckBox::clicked, this, &TEmailPage::ApplyAuthenticationRule);
    SMTPUsername = AddEditRow(form, "SMTPUsername", "SMTP Username",
                              "Enter the SMTP username for the account. This is usually the same username as the one "
                              "used for receiving email. ");
    SMTPPassword = AddEditRow(form, "SMTPPassword", "SMTP Password", "Enter the SMTP password for the account.");
    SMTPPassword->setEchoMode(QLineEdit::Password);
    SMTPSecurity = AddChoiceRow(form, "SMTPSecurity", "SMTP Security", {"None", "STARTTLS", "TLS"},
                                "STARTTLS (usually port 587) or TLS (implicit, usually port 465) encrypt the log-on "
                                "and the message; the station then never logs on outside the encryption. None sends "
                                "the password readable to anyone on the way.");
    SMTPServerFingerprint =
        AddEditRow(form, "SMTPServerFingerprint", "Fingerprint",
                   "The SHA-256 fingerprint of the certificate to trust. Leave empty to trust the mail server's "
                   "certificate through the system's certificate authorities. "
                   "For a self-signed certificate, paste its SHA-256 fingerprint (Test connection shows it).");
    auto* test = new TConnectionTestButton(
        "SMTPTestConnection",
        [this] {
            TSettingsRecord settings = Loaded;
            Store(settings);
            return settings;
        },
        TestSMTPConnection, group);
    form->addRow(QString(), test);
    layout()->addWidget(group);
}

void TEmailPage::AddMessageGroup()
{
    auto* group = new QGroupBox("Message Settings", this);
    QFormLayout* form = NewFormLayout(group);
    FromEmailName = AddEditRow(form, "FromEmailName", "From Email Name",
                               "Enter the textual \"From\" email name. This will be used to enhance the look of email "
                               "links by  providing a user friendly name for display purposes in email software and "
                               "links on web pages.");
    FromEmail = AddEditRow(form, "FromEmail", "From Email Address",
                           "Enter the \"From\" email address. This address will be used in all emails sent out, as "
                           "well as the email addresses provided on the Reply tab of the resulting web page if a "
                           "reply email address is not provided.");
    ReplyEmailName = AddEditRow(form, "ReplyEmailName", "Reply Email Name (Blank if same as From Email Name)",
                                "Enter a textual \"Reply To\" email name if desired.");
    ReplyEmail = AddEditRow(form, "ReplyEmail", "Reply Email", "Enter a \"Reply To\" email address if desired.");
    CCName = AddEditRow(form, "CCName", "CC Name", "Enter a textual \"CC\"  (Carbon Copy) email name if  desired.");
    CC = AddEditRow(form, "CC", "CC", "Enter a \"CC\"  (Carbon Copy) email address if desired.");
    layout()->addWidget(group);
}

void TEmailPage::AddTextGroup()
{
    auto* group = new QGroupBox("Notification Text", this);
    QFormLayout* form = NewFormLayout(group);
    NotifyIntroduction =
        AddLinesRow(form, "NotifyIntroduction", "Introduction",
                    "Plain text the notification begins with, before the link to the proof, for example a greeting "
                    "or who sends the proof. Leave empty for none.");
    NotifySignature = AddLinesRow(form, "NotifySignature", "Signature",
                                  "Plain text the notification ends with, after the link, the picture and the due "
                                  "date, for example the shop's name and telephone number. Leave empty for none.");
    ReminderDays = new QSpinBox(group);
    ReminderDays->setObjectName("ReminderDays");
    ReminderDays->setRange(0, MaxReminderDays);
    ReminderDays->setSpecialValueText("Off");
    ReminderDays->setToolTip("While a proof with a due date waits for its customer's answer, each recipient gets one "
                             "reminder this many days before the due date (sent after the answers are fetched). Off "
                             "sends no reminders.");
    form->addRow(new QLabel("Reminder (days before the due date)", group), ReminderDays);
    layout()->addWidget(group);
}

void TEmailPage::ApplyAuthenticationRule()
{
    SMTPUsername->setEnabled(AuthenticationRequired->isChecked());
    SMTPPassword->setEnabled(AuthenticationRequired->isChecked());
}

void TEmailPage::Load(const TSettingsRecord& settings)
{
    Loaded = settings;
    SMTPHost->setText(Text(settings.SMTPHost));
    SMTPPort->setText(Text(settings.SMTPPort));
    AuthenticationRequired->setChecked(settings.AuthenticationRequired);
    SMTPUsername->setText(Text(settings.SMTPUsername));
    SMTPPassword->setText(Text(settings.SMTPPassword));
    SelectChoice(SMTPSecurity, settings.SMTPSecurity);
    SMTPServerFingerprint->setText(Text(settings.SMTPServerFingerprint));
    FromEmailName->setText(Text(settings.FromEmailName));
    FromEmail->setText(Text(settings.FromEmail));
    ReplyEmailName->setText(Text(settings.ReplyEmailName));
    ReplyEmail->setText(Text(settings.ReplyEmail));
    CCName->setText(Text(settings.CCName));
    CC->setText(Text(settings.CC));
    NotifyIntroduction->setPlainText(Text(settings.NotifyIntroduction));
    NotifySignature->setPlainText(Text(settings.NotifySignature));
    // A value from outside the range (a hand-edited file) shows as Off, as the station reads it.
    ReminderDays->setValue(
        settings.ReminderDays >= 0 && settings.ReminderDays <= MaxReminderDays ? settings.ReminderDays : 0);
}

void TEmailPage::Store(TSettingsRecord& settings) const
{
    settings.SMTPHost = Text(SMTPHost);
    settings.SMTPPort = Text(SMTPPort);
    settings.AuthenticationRequired = AuthenticationRequired->isChecked();
    settings.SMTPUsername = Text(SMTPUsername);
    settings.SMTPPassword = Text(SMTPPassword);
    settings.SMTPSecurity = SMTPSecurity->currentText().toStdString();
    settings.SMTPServerFingerprint = SMTPServerFingerprint->text().trimmed().toStdString();
    settings.FromEmailName = Text(FromEmailName);
    settings.FromEmail = Text(FromEmail);
    settings.ReplyEmailName = Text(ReplyEmailName);
    settings.ReplyEmail = Text(ReplyEmail);
    settings.CCName = Text(CCName);
    settings.CC = Text(CC);
    settings.NotifyIntroduction = NotifyIntroduction->toPlainText().toStdString();
    settings.NotifySignature = NotifySignature->toPlainText().toStdString();
    settings.ReminderDays = ReminderDays->value();
}

}  // namespace tavrin
