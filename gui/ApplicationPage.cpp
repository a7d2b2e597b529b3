#include "gui/ApplicationPage.h"

#include "base/catalogue/OutputLayout.h"
#include "base/settings/SettingsRecord.h"
#include "gui/FormFields.h"
#include "station/ConfigurationRules.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tavrin {

namespace {

const QString ProfileHint =
    "Enter the full path to a color profile file. If left blank, the built-in color profile will be used.";
const QString ProfileBrowseHint = "Click to browse for a color profile.";

}  // namespace

TApplicationPage::TApplicationPage(QWidget* parent) : QWidget(parent)
{
    QWidget* browse = nullptr;
    auto* folders = new QGroupBox("Folders", this);
    QFormLayout* folderForm = NewFormLayout(folders);
    InputFolderEdit = AddBrowseRow(folderForm, "InputFolderEdit", "Page Buffer Folder",
                                   "Choose the directory where the Harlequin PageBuffers folder is located. This is "
                                   "usually C:\\[OEMDir]\\SW\\PageBuffers.",
                                   "Click to browse for a folder.", &browse);
    connect(static_cast<QAbstractButton*>(browse), &QAbstractButton::clicked, this, &TApplicationPage::BrowseForFolder);

    auto* miscellaneous = new QGroupBox("Miscellaneous Settings", this);
    QFormLayout* miscellaneousForm = NewFormLayout(miscellaneous);
    ApprovalText = AddEditRow(miscellaneousForm, "ApprovalText", "Approve text file",
                              "Select the file containing Text/HTML that will be displayed on the resulting  web page "
                              "on the reply tab.");
    WebRoot = AddEditRow(miscellaneousForm, "WebRoot", "URL Base (http://example.com/)",
                         "Enter the URL that represents the root of your domains home website. "
                         "(http://example.com/)");

    auto* profiles = new QGroupBox("Color Profiles", this);
    QFormLayout* profileForm = NewFormLayout(profiles);
    SourceColorProfile = AddBrowseRow(profileForm, "SourceColorProfile", "Source Profile (CMYK)", ProfileHint,
                                      ProfileBrowseHint, &browse);
    connect(static_cast<QAbstractButton*>(browse), &QAbstractButton::clicked, this,
            [this] { BrowseForProfile(SourceColorProfile, "Select source profile"); });
    DestinationColorProfile = AddBrowseRow(profileForm, "DestinationColorProfile", "Destination Profile (RGB)",
                                           ProfileHint, ProfileBrowseHint, &browse);
    connect(static_cast<QAbstractButton*>(browse), &QAbstractButton::clicked, this,
            [this] { BrowseForProfile(DestinationColorProfile, "Select destination profile"); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(folders);
    layout->addWidget(miscellaneous);
    layout->addWidget(profiles);
    layout->addStretch();
}

void TApplicationPage::Load(const TSettingsRecord& settings)
{
    InputFolderEdit->setText(QString::fromStdString(settings.InputFolder));
    ApprovalText->setText(QString::fromStdString(settings.ApprovalText));
    WebRoot->setText(QString::fromStdString(settings.WebRoot));
    SourceColorProfile->setText(QString::fromStdString(settings.SourceColorProfile));
    DestinationColorProfile->setText(QString::fromStdString(settings.DestinationColorProfile));
}

void TApplicationPage::Store(TSettingsRecord& settings) const
{
    settings.InputFolder = InputFolderEdit->text().toStdString();
    settings.ApprovalText = ApprovalText->text().toStdString();
    settings.WebRoot = WebRoot->text().toStdString();
    settings.SourceColorProfile = SourceColorProfile->text().toStdString();
    settings.DestinationColorProfile = DestinationColorProfile->text().toStdString();
}

void TApplicationPage::BrowseForFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, "Browse for Folder", InputFolderEdit->text());
    if (!folder.isEmpty())
        InputFolderEdit->setText(QString::fromStdString(WithTrailingBackslash(folder.toStdString())));
}

void TApplicationPage::BrowseForProfile(QLineEdit* field, const QString& title)
{
    QFileDialog dialog(this, title, QString::fromStdString(ProfileBrowseFolder(field->text().toStdString())));
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The names as the operator reads them; the patterns in the last parentheses.
    dialog.setNameFilters({"Color Profiles (*.icm, *.icc) (*.icm *.icc)", "All Files (*.*) (*)"});
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        field->setText(dialog.selectedFiles().front());
}

}  // namespace tavrin
