#include "base/settings/SettingsFile.h"

#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/SettingsCipher.h"
#include "base/catalogue/TextValues.h"
#include "base/platform/FileReplace.h"
#include "base/platform/ProgramPath.h"
#include "base/text/TextRules.h"

// Settings are bytes in the system code page: no character conversion.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <array>
#include <filesystem>
#include <string_view>

namespace tavrin {

namespace {

constexpr const char* Section = "Main";

enum class TKind { Text, Enciphered, Boolean, Seconds, Lines, Days };

struct TKey {
    const char* Name;
    TKind Kind;
    std::string TSettingsRecord::*Text;
    bool TSettingsRecord::*Flag;
    std::chrono::seconds TSettingsRecord::*Duration;
    int TSettingsRecord::*Number = nullptr;
};

constexpr TKey TextKey(const char* name, std::string TSettingsRecord::*field, TKind kind = TKind::Text)
{
    return {name, kind, field, nullptr, nullptr};
}

constexpr TKey BooleanKey(const char* name, bool TSettingsRecord::*field)
{
    return {name, TKind::Boolean, nullptr, field, nullptr};
}

constexpr TKey SecondsKey(const char* name, std::chrono::seconds TSettingsRecord::*field)
{
    return {name, TKind::Seconds, nullptr, nullptr, field};
}

constexpr TKey DaysKey(const char* name, int TSettingsRecord::*field)
{
    return {name, TKind::Days, nullptr, nullptr, nullptr, field};
}

// The keys in the order in which they are read and written.
constexpr std::array<TKey, 32> Keys = {{
    TextKey("InputFolder", &TSettingsRecord::InputFolder),
    TextKey("FTPServer", &TSettingsRecord::FTPServer),
    TextKey("FTPUserName", &TSettingsRecord::FTPUserName, TKind::Enciphered),
    TextKey("FTPPassword", &TSettingsRecord::FTPPassword, TKind::Enciphered),
    TextKey("FTPInitialDirectory", &TSettingsRecord::FTPInitialDirectory),
    BooleanKey("FTPPassiveMode", &TSettingsRecord::FTPPassiveMode),
    BooleanKey("FTPUseKeepAlives", &TSettingsRecord::FTPUseKeepAlives),
    TextKey("SMTPHost", &TSettingsRecord::SMTPHost),
    TextKey("SMTPPort", &TSettingsRecord::SMTPPort),
    BooleanKey("AuthenticationRequired", &TSettingsRecord::AuthenticationRequired),
    TextKey("SMTPUsername", &TSettingsRecord::SMTPUsername, TKind::Enciphered),
    TextKey("SMTPPassword", &TSettingsRecord::SMTPPassword, TKind::Enciphered),
    TextKey("FromEmail", &TSettingsRecord::FromEmail),
    TextKey("FromEmailName", &TSettingsRecord::FromEmailName),
    TextKey("ReplyEmail", &TSettingsRecord::ReplyEmail),
    TextKey("ReplyEmailName", &TSettingsRecord::ReplyEmailName),
    TextKey("CC", &TSettingsRecord::CC),
    TextKey("CCName", &TSettingsRecord::CCName),
    TextKey("WebRoot", &TSettingsRecord::WebRoot),
    TextKey("SourceColorProfile", &TSettingsRecord::SourceColorProfile),
    TextKey("DestinationColorProfile", &TSettingsRecord::DestinationColorProfile),
    BooleanKey("ShowHint", &TSettingsRecord::ShowHint),
    SecondsKey("FTPReplyTimeout", &TSettingsRecord::FTPReplyTimeout),
    SecondsKey("FTPStallTimeout", &TSettingsRecord::FTPStallTimeout),
    SecondsKey("SMTPReplyTimeout", &TSettingsRecord::SMTPReplyTimeout),
    TextKey("FTPSecurity", &TSettingsRecord::FTPSecurity),
    TextKey("FTPServerFingerprint", &TSettingsRecord::FTPServerFingerprint),
    TextKey("SMTPSecurity", &TSettingsRecord::SMTPSecurity),
    TextKey("SMTPServerFingerprint", &TSettingsRecord::SMTPServerFingerprint),
    TextKey("NotifyIntroduction", &TSettingsRecord::NotifyIntroduction, TKind::Lines),
    TextKey("NotifySignature", &TSettingsRecord::NotifySignature, TKind::Lines),
    DaysKey("ReminderDays", &TSettingsRecord::ReminderDays),
}};

// The settings file as it stands; a missing or unreadable one reads as empty.
struct TIniFile {
    TIniFile() : Ini(false, false, false)
    {
        Ini.SetSpaces(false);
        Ini.LoadFile(SettingsFilePath().c_str());
    }

    // The text of a settings file.
    explicit TIniFile(std::string_view text) : Ini(false, false, false)
    {
        Ini.SetSpaces(false);
        Ini.LoadData(text.data(), text.size());
    }

    const char* Value(const char* key) const { return Ini.GetValue(Section, key, nullptr); }
    void Set(const char* key, const std::string& value) { Ini.SetValue(Section, key, value.c_str()); }

    void Save()
    {
        std::string text;
        if (Ini.Save(text) < 0)
            throw std::runtime_error("Cannot write the settings file " + SettingsFilePath());
        ReplaceFileContents(SettingsFilePath(), text);
    }

    CSimpleIniA Ini;
};

// A time-out in whole seconds; anything but a positive number gives the default.
std::chrono::seconds ReadSeconds(const char* value, std::chrono::seconds fallback)
{
    std::int32_t number = 0;
    return (value && TryParseInt32(Trimmed(value), number) && number > 0) ? std::chrono::seconds(number) : fallback;
}

// A number of days from 0 to MaxReminderDays; anything else reads as 0.
int ReadDays(const char* value)
{
    std::int32_t number = 0;
    return (value && TryParseInt32(Trimmed(value), number) && number >= 0 && number <= MaxReminderDays) ? number : 0;
}

// A text of several lines on the file's one line: a line break as "\n", a
// backslash as "\\".
std::string EscapedLines(const std::string& text)
{
    std::string escaped;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\\')
            escaped += "\\\\";
        else if (text[at] == '\r' || text[at] == '\n') {
            if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
                ++at;
            escaped += "\\n";
        } else
            escaped += text[at];
    }
    return escaped;
}

// The text back from its line: "\n" a line break (LF), "\\" a backslash; any
// other backslash, as a hand-edited file may have it, stays as it is.
std::string UnescapedLines(const std::string& value)
{
    std::string text;
    for (std::size_t at = 0; at < value.size(); ++at) {
        if (value[at] == '\\' && at + 1 < value.size() && (value[at + 1] == 'n' || value[at + 1] == '\\')) {
            text += value[at + 1] == 'n' ? '\n' : '\\';
            ++at;
        } else
            text += value[at];
    }
    return text;
}

int ReadInteger(const TIniFile& file, const char* key)
{
    std::int32_t number = -1;
    const char* value = file.Value(key);
    return (value && TryParseInt32(Trimmed(value), number)) ? number : -1;
}

}  // namespace

std::string SettingsFilePath()
{
    return std::filesystem::path(ProgramFilePath()).replace_extension(".ini").string();
}

namespace {

void ReadKeys(const TIniFile& file, TSettingsRecord& record)
{
    const TSettingsRecord defaults;
    for (const TKey& key : Keys) {
        const char* value = file.Value(key.Name);
        switch (key.Kind) {
        case TKind::Text: record.*key.Text = value ? value : defaults.*key.Text; break;
        case TKind::Enciphered: record.*key.Text = value ? DecipherText(value) : defaults.*key.Text; break;
        case TKind::Boolean: record.*key.Flag = value ? std::string(value) == "True" : defaults.*key.Flag; break;
        case TKind::Seconds: record.*key.Duration = ReadSeconds(value, defaults.*key.Duration); break;
        case TKind::Lines: record.*key.Text = value ? UnescapedLines(value) : defaults.*key.Text; break;
        case TKind::Days: record.*key.Number = ReadDays(value); break;
        }
    }
    // Plate paths are the folder and a name joined as they stand.
    record.InputFolder = WithTrailingBackslash(record.InputFolder);
}

}  // namespace

void LoadSettings(TSettingsRecord& record)
{
    ReadKeys(TIniFile(), record);
}

void LoadSettingsText(TSettingsRecord& record, std::string_view text)
{
    ReadKeys(TIniFile(text), record);
}

void SaveSettings(const TSettingsRecord& record)
{
    TIniFile file;
    for (const TKey& key : Keys) {
        switch (key.Kind) {
        case TKind::Text: file.Set(key.Name, record.*key.Text); break;
        case TKind::Enciphered: file.Set(key.Name, EncipherText(record.*key.Text)); break;
        case TKind::Boolean: file.Set(key.Name, record.*key.Flag ? "True" : "False"); break;
        case TKind::Seconds: file.Set(key.Name, std::to_string((record.*key.Duration).count())); break;
        case TKind::Lines: file.Set(key.Name, EscapedLines(record.*key.Text)); break;
        case TKind::Days: file.Set(key.Name, std::to_string(record.*key.Number)); break;
        }
    }
    file.Save();
}

TWindowBounds LoadWindowBounds()
{
    const TIniFile file;
    TWindowBounds bounds;
    bounds.Left = ReadInteger(file, "Left");
    bounds.Top = ReadInteger(file, "Top");
    bounds.Width = ReadInteger(file, "Width");
    bounds.Height = ReadInteger(file, "Height");
    return bounds;
}

void SaveWindowBounds(const TWindowBounds& bounds)
{
    TIniFile file;
    file.Set("Left", std::to_string(bounds.Left));
    file.Set("Top", std::to_string(bounds.Top));
    file.Set("Width", std::to_string(bounds.Width));
    file.Set("Height", std::to_string(bounds.Height));
    file.Save();
}

TWindowBounds TWindowBounds::OverDesign() const
{
    TWindowBounds bounds = *this;
    bounds.Width = Width == -1 ? DesignWidth : Width;
    bounds.Height = Height == -1 ? DesignHeight : Height;
    return bounds;
}

}  // namespace tavrin
