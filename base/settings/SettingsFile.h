#pragma once

#include "base/settings/SettingsRecord.h"

#include <string>
#include <string_view>

namespace tavrin {

// The settings file: the program file's path with the extension ".ini".
std::string SettingsFilePath();

// The most days before a due date that a reminder may go.
constexpr int MaxReminderDays = 365;

// Reads every key of section "Main" into the record; an absent key (or a
// missing or unreadable file) gives the key's default, a boolean is true
// exactly when its text is "True", a time-out is a positive whole number of
// seconds (anything else gives the default), ReminderDays a whole number
// from 0 to MaxReminderDays (anything else gives 0), the shop's texts of
// several lines have "\n" for a line break and "\\" for a backslash, and
// the four account fields are deciphered. ApprovalText and ProfilesValid are left as they are.
void LoadSettings(TSettingsRecord& record);
// The same from the text of a settings file.
void LoadSettingsText(TSettingsRecord& record, std::string_view text);

// Writes every key in the file's order, the account fields enciphered,
// booleans as "True"/"False"; keeps the file's other sections and lines.
// The file is replaced whole, never left half written. Raises
// std::runtime_error when it cannot be written.
void SaveSettings(const TSettingsRecord& record);

// Reads Left, Top, Width and Height (-1 each when absent or not a number).
TWindowBounds LoadWindowBounds();

// Writes Left, Top, Width and Height in decimal, as SaveSettings writes.
void SaveWindowBounds(const TWindowBounds& bounds);

}  // namespace tavrin
