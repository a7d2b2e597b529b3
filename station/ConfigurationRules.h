#pragma once

#include <string>

namespace tavrin {

class TSharedSettings;
struct TSettingsRecord;

// What OK of the configuration dialog does to the texts before they are
// kept: a web root and an initial FTP directory end in "/", the page buffer
// folder in a path separator; empty texts stay empty.
void NormaliseSettings(TSettingsRecord& settings);

// Where the file dialog for a colour profile opens: the folder of the
// profile in the field, or the system's colour profile folder when the
// field is empty.
std::string ProfileBrowseFolder(const std::string& profileField);

// After the configuration dialog closed: the edited approval text file name
// stays in force in the station's settings whatever the answer (it never
// reaches the file); with OK the
// edited settings are saved, ShowHint taken from the Show Hints menu item.
// The caller then runs the start-up operation, which reloads the file.
// Raises std::runtime_error when the settings file cannot be written.
void KeepConfiguration(TSharedSettings& settings, const TSettingsRecord& edited, bool accepted, bool showHints);

}  // namespace tavrin
