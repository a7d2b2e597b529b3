#include "station/ConfigurationRules.h"

#include "base/catalogue/OutputLayout.h"
#include "base/platform/SystemFolders.h"
#include "base/settings/SettingsFile.h"
#include "base/settings/SharedSettings.h"

#include <filesystem>

namespace tavrin {

namespace {

void EndWith(std::string& text, char last)
{
    if (!text.empty() && text.back() != last)
        text += last;
}

}  // namespace

void NormaliseSettings(TSettingsRecord& settings)
{
    EndWith(settings.WebRoot, '/');
    settings.InputFolder = WithTrailingBackslash(settings.InputFolder);
    EndWith(settings.FTPInitialDirectory, '/');
}

std::string ProfileBrowseFolder(const std::string& profileField)
{
    if (profileField.empty())
        return SystemColorProfileFolder();
    return std::filesystem::path(profileField).parent_path().string();
}

void KeepConfiguration(TSharedSettings& settings, const TSettingsRecord& edited, bool accepted, bool showHints)
{
    settings.Update([&](TSettingsRecord& record) { record.ApprovalText = edited.ApprovalText; });
    if (!accepted)
        return;
    TSettingsRecord saved = edited;
    saved.ShowHint = showHints;
    SaveSettings(saved);
}

}  // namespace tavrin
