#include "base/settings/SharedSettings.h"
#include "gui/ConfigDlg.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/delivery/MailFixture.h"
#include "tests/delivery/TestCertificate.h"
#include "tests/gui/StationWindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

namespace tavrin::testing {
namespace {

QLineEdit* Field(const TConfigDlg& dialog, const char* name)
{
    auto* field = dialog.findChild<QLineEdit*>(name);
    EXPECT_NE(field, nullptr) << name;
    return field;
}

void ClickOk(TConfigDlg& dialog)
{
    QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

TEST(ConfigDialog, OkEndsTheAddressesAndTheFolderWithTheirSeparatorUnlessEmpty)
{
    TOffscreenApplication application;
    struct TCase {
        std::string WebRoot, InputFolder, FTPInitialDirectory;
        std::string ExpectedWebRoot, ExpectedInputFolder, ExpectedFTPInitialDirectory;
    };
    const TCase cases[] = {
        {"abc", "/srv/rip/PageBuffers", "public_html", "abc/", "/srv/rip/PageBuffers/", "public_html/"},
        {"http://x.example.com/", "/", "www/", "http://x.example.com/", "/", "www/"},
        {"", "", "", "", "", ""},
    };
    for (const TCase& test : cases) {
        TConfigDlg dialog;
        TSettingsRecord settings;
        settings.WebRoot = test.WebRoot;
        settings.InputFolder = test.InputFolder;
        settings.FTPInitialDirectory = test.FTPInitialDirectory;
        dialog.Load(settings);
        dialog.show();
        ClickOk(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        const TSettingsRecord confirmed = dialog.Settings();
        EXPECT_EQ(confirmed.WebRoot, test.ExpectedWebRoot);
        EXPECT_EQ(confirmed.InputFolder, test.ExpectedInputFolder);
        EXPECT_EQ(confirmed.FTPInitialDirectory, test.ExpectedFTPInitialDirectory);
        EXPECT_EQ(Field(dialog, "WebRoot")->text().toStdString(), test.ExpectedWebRoot);
    }
}

// The security choices and fingerprints round-trip through the dialog; a
// choice the file holds that is none of the list is kept as it stands, for
// the configuration check to name, rather than quietly becoming another.
TEST(ConfigDialog, SecurityChoicesAndFingerprintsAreLoadedAndStoredAsTheyStand)
{
    TOffscreenApplication application;
    TConfigDlg dialog;
    TSettingsRecord settings;
    settings.FTPSecurity = "tls";
    settings.FTPServerFingerprint = "AB:CD";
    settings.SMTPSecurity = "SSL";
    dialog.Load(settings);
    EXPECT_EQ(dialog.findChild<QComboBox*>("FTPSecurity")->currentText(), "TLS");
    EXPECT_EQ(dialog.findChild<QComboBox*>("SMTPSecurity")->currentText(), "SSL");
    dialog.findChild<QComboBox*>("SMTPSecurity")->setCurrentText("STARTTLS");
    const TSettingsRecord stored = dialog.Settings();
    EXPECT_EQ(stored.FTPSecurity, "TLS");
    EXPECT_EQ(stored.FTPServerFingerprint, "AB:CD");
    EXPECT_EQ(stored.SMTPSecurity, "STARTTLS");
    TConfigDlg fresh;
    fresh.Load(TSettingsRecord());
    EXPECT_EQ(fresh.Settings().FTPSecurity, "None");
    EXPECT_EQ(fresh.Settings().SMTPSecurity, "None");
}

// The shop's lines keep their line breaks through the dialog; the reminder
// days take only a day count, and a stored one out of range shows as Off.
TEST(ConfigDialog, TheShopsLinesAndTheReminderDaysAreLoadedAndStored)
{
    TOffscreenApplication application;
    TConfigDlg dialog;
    TSettingsRecord settings;
    settings.NotifyIntroduction = "Dear customer,\nyour proof:";
    settings.NotifySignature = "Regards\n<b>Proof Desk</b> & Co";
    settings.ReminderDays = 4;
    dialog.Load(settings);
    auto* introduction = dialog.findChild<QPlainTextEdit*>("NotifyIntroduction");
    auto* signature = dialog.findChild<QPlainTextEdit*>("NotifySignature");
    auto* days = dialog.findChild<QSpinBox*>("ReminderDays");
    ASSERT_TRUE(introduction && signature && days);
    EXPECT_EQ(signature->toPlainText().toStdString(), settings.NotifySignature);
    EXPECT_EQ(days->value(), 4);
    EXPECT_EQ(dialog.Settings().NotifyIntroduction, settings.NotifyIntroduction);

    introduction->setPlainText("Hello,\nhere it is.");
    days->setValue(400);  // beyond the longest lead a reminder may have
    const TSettingsRecord stored = dialog.Settings();
    EXPECT_EQ(stored.NotifyIntroduction, "Hello,\nhere it is.");
    EXPECT_EQ(stored.NotifySignature, settings.NotifySignature);
    EXPECT_EQ(stored.ReminderDays, 365);

    settings.ReminderDays = -3;
    dialog.Load(settings);
    EXPECT_EQ(days->text().toStdString(), "Off");
    EXPECT_EQ(dialog.Settings().ReminderDays, 0);
}

// "Test connection" logs on with what the dialog shows, off the window's
// thread, and shows the outcome and the certificate in a box.
TEST(ConfigDialog, TestConnectionShowsTheOutcomeAndTheServersCertificate)
{
    TOffscreenApplication application;
    TTemporaryFolder temporary;
    const TTestCertificate certificate = MakeTestCertificate(temporary.Path());
    auto mail = StartSMTPServer(temporary, {"--tls-certificate", certificate.Certificate.string(), "--tls-key",
                                            certificate.Key.string(), "--starttls"});
    auto ftp = StartScriptedFTPServer(temporary);
    TConfigDlg dialog;
    TSettingsRecord settings;
    settings.SMTPHost = "127.0.0.1";
    settings.SMTPPort = std::to_string(mail->Port());
    settings.AuthenticationRequired = true;
    settings.SMTPUsername = "mailer";
    settings.SMTPPassword = "secret";
    settings.SMTPSecurity = "STARTTLS";
    settings.SMTPServerFingerprint = certificate.Fingerprint;
    settings.FTPServer = "127.0.0.1:" + std::to_string(ftp->Port());
    settings.FTPUserName = "u";
    settings.FTPPassword = "secret";
    settings.FTPSecurity = "TLS";
    dialog.Load(settings);
    dialog.show();

    const auto boxText = [&](const char* button) {
        auto* test = dialog.findChild<QPushButton*>(button);
        EXPECT_NE(test, nullptr) << button;
        test->click();
        QMessageBox* box = nullptr;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return (box = dialog.findChild<QMessageBox*>("ConnectionTestBox")) != nullptr; }, 60000));
        EXPECT_TRUE(test->isEnabled());
        if (!box)
            return std::string();
        const std::string text = box->text().toStdString();
        const bool warning = box->icon() == QMessageBox::Warning;
        box->close();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return dialog.findChild<QMessageBox*>("ConnectionTestBox") == nullptr; }, 5000));
        return std::string(warning ? "warning: " : "information: ") + text;
    };

    const std::string mailText = boxText("SMTPTestConnection");
    EXPECT_EQ(mailText.rfind("information: Logged on to the mail server 127.0.0.1 over TLS.", 0), 0u) << mailText;
    EXPECT_NE(mailText.find("Certificate subject: CN=tavrin-test-server"), std::string::npos) << mailText;
    EXPECT_NE(mailText.find("SHA-256 fingerprint: " + certificate.Fingerprint), std::string::npos) << mailText;
    EXPECT_NE(mailText.find("Valid from "), std::string::npos) << mailText;
    const std::string log = FileBytes(temporary.Path() / "commands.log");
    EXPECT_NE(log.find("STARTTLS\nEHLO"), std::string::npos) << log;
    EXPECT_NE(log.find("(LOGIN mailer accepted)"), std::string::npos) << log;
    EXPECT_EQ(log.find("MAIL FROM"), std::string::npos) << "a test sends no message";

    // The scripted FTP server speaks no TLS: the box says so, and the password stayed here.
    const std::string ftpText = boxText("FTPTestConnection");
    EXPECT_EQ(ftpText.rfind("warning: Could not log on to the FTP server 127.0.0.1:", 0), 0u) << ftpText;
    EXPECT_NE(ftpText.find("does not offer TLS"), std::string::npos) << ftpText;
    EXPECT_EQ(log.find("PASS"), std::string::npos);
}

TEST(ConfigDialog, TheLoginFieldsAreUsableOnlyWithAuthenticationAndKeepTheirTexts)
{
    TOffscreenApplication application;
    TConfigDlg dialog;
    TSettingsRecord settings;
    settings.SMTPUsername = "mailer";
    settings.SMTPPassword = "secret";
    dialog.Load(settings);
    dialog.show();
    EXPECT_EQ(dialog.findChild<QTabWidget*>()->currentIndex(), 0);
    auto* authentication = dialog.findChild<QCheckBox*>("AuthenticationRequired");
    EXPECT_FALSE(Field(dialog, "SMTPUsername")->isEnabled());
    EXPECT_FALSE(Field(dialog, "SMTPPassword")->isEnabled());
    authentication->click();
    EXPECT_TRUE(Field(dialog, "SMTPUsername")->isEnabled());
    EXPECT_TRUE(Field(dialog, "SMTPPassword")->isEnabled());
    authentication->click();
    EXPECT_FALSE(Field(dialog, "SMTPPassword")->isEnabled());
    EXPECT_EQ(Field(dialog, "SMTPUsername")->text(), "mailer");
    EXPECT_EQ(dialog.Settings().SMTPPassword, "secret");
    EXPECT_EQ(Field(dialog, "SMTPPort")->text(), "25");
    EXPECT_EQ(Field(dialog, "ApprovalText")->text(), "approval.txt");
}

class Configure : public StationWindow {};

TEST_F(Configure, OkSavesTheNormalisedSettingsWithTheHintsTickThenStartsUpAgain)
{
    OpenWindow();
    Form->findChild<QAction*>("ShowHintsItem")->setChecked(true);
    WhenModal<TConfigDlg>([](TConfigDlg& dialog) {
        Field(dialog, "WebRoot")->setText("http://web.example.com");
        Field(dialog, "FTPServer")->setText("");
        ClickOk(dialog);
    });
    Form->findChild<QAction*>("ConfigureItem")->trigger();

    TSettingsRecord saved;
    LoadSettings(saved);
    EXPECT_EQ(saved.WebRoot, "http://web.example.com/");
    EXPECT_TRUE(saved.ShowHint);
    EXPECT_EQ(Settings.Copy().WebRoot, "http://web.example.com/");
    // The start-up operation ran again and checked the configuration.
    EXPECT_EQ(Dialogs.Told, std::vector<std::string>{"Configuration Error: FTP Server requires configuration"});

    // Cancel restores the file's values but keeps an edited approval text.
    WhenModal<TConfigDlg>([](TConfigDlg& dialog) {
        Field(dialog, "WebRoot")->setText("http://other.example.com/");
        Field(dialog, "ApprovalText")->setText("terms.html");
        dialog.reject();
    });
    Form->findChild<QAction*>("ConfigureItem")->trigger();
    EXPECT_EQ(Settings.Copy().WebRoot, "http://web.example.com/");
    EXPECT_EQ(Settings.Copy().ApprovalText, "terms.html");
}

}  // namespace
}  // namespace tavrin::testing
