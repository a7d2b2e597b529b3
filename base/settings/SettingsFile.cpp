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

enum class TKind { Text, Enciphered, Boolean, Seconds };

struct TKey {
    const char* Name;
    TKind Kind;
    std::string TSettingsRecord::*Text;
    bool TSettingsRecord::*Flag;
    std::chrono::seconds TSettingsRecord::*Duration;
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

// The keys in the order in which they are read and written.
constexpr std::array<TKey, 29> Keys = {{
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
