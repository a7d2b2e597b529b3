#include "gui/ConfigDlg.h"

#include "gui/ApplicationPage.h"
#include "gui/EmailPage.h"
#include "gui/FtpPage.h"
#include "gui/WindowFit.h"
#include "station/ConfigurationRules.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tavrin {

TConfigDlg::TConfigDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName("ConfigDlg");
    setWindowTitle("Configuration");

    Pages = new QTabWidget(this);
    ApplicationPage = new TApplicationPage(Pages);
    FtpPage = new TFtpPage(Pages);
    EmailPage = new TEmailPage(Pages);
    Pages->addTab(ApplicationPage, "Application");
    Pages->addTab(FtpPage, "FTP");
    Pages->addTab(EmailPage, "EMail");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText("Cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &TConfigDlg::Confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(Pages);
    layout->addWidget(buttons);
    // The desktop's own font, and room for it: the labels stay on their lines and paths show whole.
    FitToContents(*this, {DesignWidth, DesignHeight});
}

void TConfigDlg::Load(const TSettingsRecord& settings)
{
    Loaded = settings;
    ApplicationPage->Load(settings);
    FtpPage->Load(settings);
    EmailPage->Load(settings);
}

TSettingsRecord TConfigDlg::Settings() const
{
    TSettingsRecord settings = Loaded;
    ApplicationPage->Store(settings);
    FtpPage->Store(settings);
    EmailPage->Store(settings);
    return settings;
}

void TConfigDlg::showEvent(QShowEvent* event)
{
    EmailPage->ApplyAuthenticationRule();
    Pages->setCurrentWidget(ApplicationPage);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TConfigDlg::Confirm()
{
    TSettingsRecord settings = Settings();
    NormaliseSettings(settings);
    Load(settings);
    accept();
}

}  // namespace tavrin
