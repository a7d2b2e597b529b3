#include "gui/FtpPage.h"

#include "base/settings/SettingsRecord.h"
#include "engines/delivery/ConnectionTest.h"
#include "gui/ConnectionTestButton.h"
#include "gui/FormFields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tavrin {

TFtpPage::TFtpPage(QWidget* parent) : QWidget(parent)
{
    auto* group = new QGroupBox("FTP Server Settings", this);
    QFormLayout* form = NewFormLayout(group);
    FTPServer = AddEditRow(form, "FTPServer", "FTP Server", "Enter the FTP server name or IP address.");
    FTPUserName = AddEditRow(form, "FTPUserName", "FTP Username",
                             "Enter the user name for ftp access. The account requires full access to be able to "
                             "send, receive, and delete files.");
    FTPPassword = AddEditRow(form, "FTPPassword", "FTP Password", "Enter the password for the FTP user account.");
    FTPPassword->setEchoMode(QLineEdit::Password);
    FTPInitialDirectory = AddEditRow(form, "FTPInitialDirectory", "FTP Initial Directory",
                                     "Enter the initial path in which the software should navigate to to get to the "
                                     "web root. This is usually where your index.html file is located.");
    FTPPassiveMode = AddCheckRow(form, "FTPPassiveMode", "Passive Mode",
                                 "Select passive mode if conecting through a firewall or through certain routers. The "
                                 "use of passive mode is usually OK in any circumstance.");
    FTPUseKeepAlives = AddCheckRow(form, "FTPUseKeepAlives", "Use Keep-Alives",
                                   "The use of Keep-Alives is required through some routers during a long file "
                                   "transfer because most SOHO type routers close supposedly inactive ports after "
                                   "about 15 minutes.");
    FTPSecurity = AddChoiceRow(form, "FTPSecurity", "FTP Security", {"None", "TLS"},
                               "TLS encrypts the log-on and every file (explicit FTPS: AUTH TLS). Choose it whenever "
                               "the web host offers it; None sends the password readable to anyone on the way.");
    FTPServerFingerprint =
        AddEditRow(form, "FTPServerFingerprint", "Fingerprint",
                   "The SHA-256 fingerprint of the certificate to trust. Leave empty to trust the server's certificate "
                   "through the system's certificate authorities. For a "
                   "host with a self-signed certificate, paste its SHA-256 fingerprint (Test connection shows it): "
                   "then only that certificate is trusted.");
    auto* test = new TConnectionTestButton(
        "FTPTestConnection",
        [this] {
            TSettingsRecord settings = Loaded;
            Store(settings);
            return settings;
        },
        TestFTPConnection, group);
    form->addRow(QString(), test);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch();
}

void TFtpPage::Load(const TSettingsRecord& settings)
{
    Loaded = settings;
    FTPServer->setText(QString::fromStdString(settings.FTPServer));
    FTPUserName->setText(QString::fromStdString(settings.FTPUserName));
    FTPPassword->setText(QString::fromStdString(settings.FTPPassword));
    FTPInitialDirectory->setText(QString::fromStdString(settings.FTPInitialDirectory));
    FTPPassiveMode->setChecked(settings.FTPPassiveMode);
    FTPUseKeepAlives->setChecked(settings.FTPUseKeepAlives);
    SelectChoice(FTPSecurity, settings.FTPSecurity);
    FTPServerFingerprint->setText(QString::fromStdString(settings.FTPServerFingerprint));
}

void TFtpPage::Store(TSettingsRecord& settings) const
{
    settings.FTPServer = FTPServer->text().toStdString();
    settings.FTPUserName = FTPUserName->text().toStdString();
    settings.FTPPassword = FTPPassword->text().toStdString();
    settings.FTPInitialDirectory = FTPInitialDirectory->text().toStdString();
    settings.FTPPassiveMode = FTPPassiveMode->isChecked();
    settings.FTPUseKeepAlives = FTPUseKeepAlives->isChecked();
    settings.FTPSecurity = FTPSecurity->currentText().toStdString();
    settings.FTPServerFingerprint = FTPServerFingerprint->text().trimmed().toStdString();
}

}  // namespace tavrin
