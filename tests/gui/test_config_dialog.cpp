#include "base/settings/SharedSettings.h"
#include "gui/ConfigDialog.h"
#include "tests/gui/StationWindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
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
    EXPECT_EQ(StationSettings().Copy().WebRoot, "http://web.example.com/");
    // The start-up operation ran again and checked the configuration.
    EXPECT_EQ(Dialogs.Told, std::vector<std::string>{"Configuration Error: FTP Server requires configuration"});

    // Cancel restores the file's values but keeps an edited approval text.
    WhenModal<TConfigDlg>([](TConfigDlg& dialog) {
        Field(dialog, "WebRoot")->setText("http://other.example.com/");
        Field(dialog, "ApprovalText")->setText("terms.html");
        dialog.reject();
    });
    Form->findChild<QAction*>("ConfigureItem")->trigger();
    EXPECT_EQ(StationSettings().Copy().WebRoot, "http://web.example.com/");
    EXPECT_EQ(StationSettings().Copy().ApprovalText, "terms.html");
    StationSettings().Update([](TSettingsRecord& record) { record.ApprovalText = "approval.txt"; });
}

}  // namespace
}  // namespace tavrin::testing
