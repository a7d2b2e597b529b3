#include "base/settings/SettingsFile.h"
#include "base/settings/SharedSettings.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

namespace tavrin {
namespace {

using testing::TScratchProgramFolder;

// Every field of the record, for comparing whole records.
std::string Describe(const TSettingsRecord& r)
{
    const auto flag = [](bool b) { return b ? "1" : "0"; };
    return r.InputFolder + "|" + r.FTPServer + "|" + r.FTPUserName + "|" + r.FTPPassword + "|" + r.FTPInitialDirectory +
           "|" + flag(r.FTPPassiveMode) + flag(r.FTPUseKeepAlives) + "|" + r.SMTPHost + "|" + r.SMTPPort + "|" +
           flag(r.AuthenticationRequired) + "|" + r.SMTPUsername + "|" + r.SMTPPassword + "|" + r.FromEmail + "|" +
           r.FromEmailName + "|" + r.ReplyEmail + "|" + r.ReplyEmailName + "|" + r.CC + "|" + r.CCName + "|" +
           r.WebRoot + "|" + r.SourceColorProfile + "|" + r.DestinationColorProfile + "|" + flag(r.ShowHint) + "|" +
           std::to_string(r.FTPReplyTimeout.count()) + "|" + std::to_string(r.FTPStallTimeout.count()) + "|" +
           std::to_string(r.SMTPReplyTimeout.count()) + "|" + r.FTPSecurity + "|" + r.FTPServerFingerprint + "|" +
           r.SMTPSecurity + "|" + r.SMTPServerFingerprint + "|" + r.NotifyIntroduction + "|" + r.NotifySignature + "|" +
           std::to_string(r.ReminderDays) + "|" + r.ApprovalText + "|" + flag(r.ProfilesValid);
}

TSettingsRecord FullRecord()
{
    TSettingsRecord r;
    r.InputFolder = "/srv/rip/pgb/";
    r.FTPServer = "ftp.example.com";
    r.FTPUserName = "proof user";
    r.FTPPassword = "p=a;s\"s'w[o]rd";
    r.FTPInitialDirectory = "public_html/";
    r.FTPPassiveMode = false;
    r.FTPUseKeepAlives = false;
    r.SMTPHost = "mail.example.com";
    r.SMTPPort = "587";
    r.AuthenticationRequired = true;
    r.SMTPUsername = "mailer";
    r.SMTPPassword = "12345678";
    r.FromEmail = "proofs@example.com";
    r.FromEmailName = "Proof Desk";
    r.ReplyEmail = "desk@example.com";
    r.ReplyEmailName = "Desk";
    r.CC = "boss@example.com";
    r.CCName = "Boss";
    r.WebRoot = "http://proofs.example.com/";
    r.SourceColorProfile = "/usr/share/color/icc/cmyk.icc";
    r.DestinationColorProfile = "/usr/share/color/icc/srgb.icc";
    r.ShowHint = true;
    r.FTPReplyTimeout = std::chrono::seconds(90);
    r.FTPStallTimeout = std::chrono::seconds(120);
    r.SMTPReplyTimeout = std::chrono::seconds(45);
    r.FTPSecurity = "TLS";
    r.FTPServerFingerprint = "AB:CD";
    r.SMTPSecurity = "STARTTLS";
    r.SMTPServerFingerprint = "ef01";
    r.NotifyIntroduction = "Dear customer,\nC:\\proofs\\new = \\n";
    r.NotifySignature = "Regards\nThe Desk";
    r.ReminderDays = 3;
    return r;
}

TEST(Settings, MissingFileReadsAsAllDefaults)
{
    TScratchProgramFolder folder;
    TSettingsRecord record = FullRecord();
    record.ApprovalText = "edited.html";
    record.ProfilesValid = true;
    LoadSettings(record);
    TSettingsRecord expected;
    expected.ApprovalText = "edited.html";  // never read from the file
    expected.ProfilesValid = true;
    EXPECT_EQ(Describe(record), Describe(expected));
    EXPECT_EQ(expected.SMTPPort, "25");
    EXPECT_TRUE(expected.FTPPassiveMode && expected.FTPUseKeepAlives);
    for (const std::chrono::seconds timeout :
         {expected.FTPReplyTimeout, expected.FTPStallTimeout, expected.SMTPReplyTimeout})
        EXPECT_EQ(timeout, std::chrono::seconds(60));
    EXPECT_FALSE(std::filesystem::exists(SettingsFilePath()));
}

TEST(Settings, SavedFileHoldsEveryKeyInOrderWithAccountsEnciphered)
{
    TScratchProgramFolder folder;
    EXPECT_EQ(SettingsFilePath(), folder.Path("tavrin.ini").string());
    TSettingsRecord saved = FullRecord();
    saved.FTPUserName = "";  // empty stays empty, not enciphered
    SaveSettings(saved);

    const std::string text = folder.Read("tavrin.ini");
    const char* keys[] = {"InputFolder=/srv/rip/pgb/",
                          "FTPServer=",
                          "FTPUserName=\n",
                          "FTPPassword=",
                          "FTPInitialDirectory=",
                          "FTPPassiveMode=False",
                          "FTPUseKeepAlives=False",
                          "SMTPHost=",
                          "SMTPPort=587",
                          "AuthenticationRequired=True",
                          "SMTPUsername=",
                          "SMTPPassword=",
                          "FromEmail=",
                          "FromEmailName=",
                          "ReplyEmail=",
                          "ReplyEmailName=",
                          "CC=",
                          "CCName=",
                          "WebRoot=",
                          "SourceColorProfile=",
                          "DestinationColorProfile=",
                          "ShowHint=True",
                          "FTPReplyTimeout=90",
                          "FTPStallTimeout=120",
                          "SMTPReplyTimeout=45",
                          "FTPSecurity=TLS",
                          "FTPServerFingerprint=AB:CD",
                          "SMTPSecurity=STARTTLS",
                          "SMTPServerFingerprint=ef01",
                          "NotifyIntroduction=Dear customer,\\nC:\\\\proofs\\\\new = \\\\n\n",
                          "NotifySignature=Regards\\nThe Desk\n",
                          "ReminderDays=3"};
    std::size_t position = text.find("[Main]");
    ASSERT_NE(position, std::string::npos) << text;
    for (const char* key : keys) {
        const std::size_t found = text.find(std::string("\n") + key, position);
        ASSERT_NE(found, std::string::npos) << key << " missing or out of order in\n" << text;
        position = found + 1;
    }
    for (const char* secret : {"p=a;s", "mailer", "12345678"})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;
    EXPECT_EQ(text.find("Left="), std::string::npos);
    EXPECT_EQ(text.find("approval"), std::string::npos);

    TSettingsRecord loaded;
    LoadSettings(loaded);
    EXPECT_EQ(Describe(loaded), Describe(saved));
}

TEST(Settings, StoredTextsReadByTheFileRules)
{
    struct TCase {
        const char* Lines;
        bool PassiveMode;
        const char* Port;
        bool Authentication;
        const char* FTPPassword;
    };
    const TCase cases[] = {
        {"", true, "25", false, ""},
        {"FTPPassiveMode=True\n", true, "25", false, ""},
        {"FTPPassiveMode=true\nAuthenticationRequired=TRUE\n", false, "25", false, ""},
        {"FTPPassiveMode=\nAuthenticationRequired=True\n", false, "25", true, ""},
        {"FTPPassiveMode=1\n", false, "25", false, ""},
        {"SMTPPort=\n", true, "", false, ""},
        {"smtpport=2525\n", true, "2525", false, ""},  // keys are found without regard to case
        {"FTPPassword=not a cipher text\nSMTPPort=26\n", true, "26", false, ""},
        {"FTPPassword=QUJDREVGR0hJSktMTU5PUA==\n", true, "25", false, ""},
    };
    TScratchProgramFolder folder;
    for (const TCase& c : cases) {
        folder.Write("tavrin.ini", std::string("[Main]\n") + c.Lines);
        TSettingsRecord record;
        LoadSettings(record);
        EXPECT_EQ(record.FTPPassiveMode, c.PassiveMode) << c.Lines;
        EXPECT_EQ(record.SMTPPort, c.Port) << c.Lines;
        EXPECT_EQ(record.AuthenticationRequired, c.Authentication) << c.Lines;
        EXPECT_EQ(record.FTPPassword, c.FTPPassword) << c.Lines;
    }
}

// The shop's texts keep their lines on the file's one line each; a hand
// edit's lone backslash stays. Reminder days outside 0 to 365 count as 0.
TEST(Settings, ShopTextsKeepTheirLinesAndReminderDaysAreADayCountOrZero)
{
    const std::pair<const char*, int> days[] = {
        {"", 0}, {"abc", 0}, {"-1", 0}, {"0", 0}, {"1", 1}, {" 7 ", 7}, {"365", 365}, {"366", 0}, {"2.5", 0},
    };
    TScratchProgramFolder folder;
    for (const auto& [text, expected] : days) {
        folder.Write("tavrin.ini", std::string("[Main]\nReminderDays=") + text + "\n");
        TSettingsRecord record;
        record.ReminderDays = 9;
        LoadSettings(record);
        EXPECT_EQ(record.ReminderDays, expected) << text;
    }
    folder.Write("tavrin.ini", "[Main]\nNotifySignature=Line 1\\nC:\\temp\\\\x\\n\n");
    TSettingsRecord record;
    LoadSettings(record);
    EXPECT_EQ(record.NotifySignature, "Line 1\nC:\\temp\\x\n");
    EXPECT_EQ(record.NotifyIntroduction, "");
    record.NotifyIntroduction = "one\r\ntwo\rthree";
    SaveSettings(record);
    TSettingsRecord loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded.NotifyIntroduction, "one\ntwo\nthree");
    EXPECT_EQ(loaded.NotifySignature, record.NotifySignature);
}

TEST(Settings, TimeOutsArePositiveWholeSecondsOrTheDefault)
{
    struct TCase {
        const char* Text;  // nullptr: the key is absent
        int Seconds;
    };
    const TCase cases[] = {
        {nullptr, 60}, {"", 60}, {"abc", 60}, {"0", 60},    {"-5", 60},   {"1.5", 60},
        {"5s", 60},    {"1", 1}, {"2", 2},    {"300", 300}, {" 90 ", 90}, {"2147483647", 2147483647},
    };
    const std::pair<const char*, int> keys[] = {
        {"FTPReplyTimeout", 7}, {"FTPStallTimeout", 8}, {"SMTPReplyTimeout", 9}};
    TScratchProgramFolder folder;
    for (const auto& [key, _] : keys) {
        for (const TCase& c : cases) {
            // The other two keys hold values of their own, so that one read into the wrong field shows.
            std::string text = "[Main]\n";
            for (const auto& [other, seconds] : keys)
                if (other != key)
                    text += std::string(other) + "=" + std::to_string(seconds) + "\n";
                else if (c.Text)
                    text += std::string(key) + "=" + c.Text + "\n";
            folder.Write("tavrin.ini", text);
            TSettingsRecord record;
            LoadSettings(record);
            const int read[] = {static_cast<int>(record.FTPReplyTimeout.count()),
                                static_cast<int>(record.FTPStallTimeout.count()),
                                static_cast<int>(record.SMTPReplyTimeout.count())};
            for (std::size_t i = 0; i < 3; ++i)
                EXPECT_EQ(read[i], keys[i].first == key ? c.Seconds : keys[i].second) << text;
        }
    }
}

TEST(Settings, SavingKeepsOtherSectionsLinesAndWindowBounds)
{
    TScratchProgramFolder folder;
    folder.Write("tavrin.ini",
                 "[Other]\nx=1\n\n; a note on the main section\n[Main]\nLeft=5\nCustomKey=abc\nFTPServer=old\n");
    SaveSettings(FullRecord());
    const std::string text = folder.Read("tavrin.ini");
    for (const char* kept : {"[Other]\nx=1", "; a note on the main section", "Left=5", "CustomKey=abc"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " lost from\n" << text;
    EXPECT_EQ(text.find("FTPServer=old"), std::string::npos);
    // An existing key keeps its place: before the keys the file did not have.
    EXPECT_LT(text.find("FTPServer=ftp.example.com"), text.find("InputFolder="));
    EXPECT_EQ(LoadWindowBounds().Left, 5);
    EXPECT_FALSE(std::filesystem::exists(folder.Path("tavrin.ini.tmp")));
}

TEST(WindowBounds, AbsentOrUnreadableBoundsKeepTheDesignValues)
{
    TScratchProgramFolder folder;
    folder.Write("tavrin.ini", "[Main]\nLeft=10\nTop=20\nWidth=800\nFTPServer=keep\n");
    TWindowBounds bounds = LoadWindowBounds();
    EXPECT_EQ(bounds.Height, -1);
    const TWindowBounds shown = bounds.OverDesign();
    EXPECT_EQ(shown.Left, 10);
    EXPECT_EQ(shown.Top, 20);
    EXPECT_EQ(shown.Width, 800);
    EXPECT_EQ(shown.Height, 666);

    folder.Write("tavrin.ini", "[Main]\nLeft=abc\nTop=\nWidth=12x\n");
    bounds = LoadWindowBounds();
    EXPECT_EQ(bounds.Left, -1);
    EXPECT_EQ(bounds.Top, -1);
    EXPECT_EQ(bounds.OverDesign().Width, 1029);

    SaveWindowBounds({-8, 0, 1200, 700});
    bounds = LoadWindowBounds();
    EXPECT_EQ(bounds.Left, -8);
    EXPECT_EQ(bounds.Height, 700);
    EXPECT_NE(folder.Read("tavrin.ini").find("Width=1200"), std::string::npos);
}

TEST(Settings, AFailedWriteLeavesTheFileAsItWas)
{
    TScratchProgramFolder folder;
    SaveSettings(FullRecord());
    const std::string before = folder.Read("tavrin.ini");
    // The temporary file cannot be made where a folder of its name stands.
    std::filesystem::create_directory(folder.Path("tavrin.ini.tmp"));
    TSettingsRecord changed = FullRecord();
    changed.FTPServer = "other";
    EXPECT_THROW(SaveSettings(changed), std::runtime_error);
    EXPECT_EQ(folder.Read("tavrin.ini"), before);
}

// A settings file kept elsewhere and linked into the program folder stays
// linked; its target takes the new settings.
TEST(Settings, ALinkedFileIsWrittenThroughToItsTarget)
{
    TScratchProgramFolder folder;
    std::filesystem::create_directory(folder.Path("shared"));
    folder.Write("shared/station.ini", "[Main]\nFTPServer=old\n");
    std::filesystem::create_symlink(folder.Path("shared/station.ini"), folder.Path("tavrin.ini"));
    TSettingsRecord changed = FullRecord();
    changed.FTPServer = "new.example.com";
    SaveSettings(changed);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path("tavrin.ini")));
    EXPECT_NE(folder.Read("shared/station.ini").find("FTPServer=new.example.com"), std::string::npos);
}

// Plate paths join the folder and a file name: a hand-written folder without
// its separator must not make "pagebuffersjob1.pgb".
TEST(Settings, TheInputFolderEndsWithASeparatorOnceLoaded)
{
    TScratchProgramFolder folder;
    for (const auto& [stored, loaded] : std::vector<std::pair<std::string, std::string>>{
             {"/rip/pagebuffers", "/rip/pagebuffers/"}, {"/rip/pagebuffers/", "/rip/pagebuffers/"}, {"", ""}}) {
        folder.Write("tavrin.ini", "[Main]\nInputFolder=" + stored + "\n");
        TSettingsRecord record;
        LoadSettings(record);
        EXPECT_EQ(record.InputFolder, loaded) << stored;
    }
}

// Readers on worker threads never see a record half replaced.
TEST(SharedSettings, ReadersCopyWholeRecordsWhileTheMainThreadReplacesThem)
{
    TSharedSettings shared;
    const auto uniform = [](const std::string& value) {
        TSettingsRecord r;
        r.FTPServer = r.FTPUserName = r.FTPPassword = r.WebRoot = r.FromEmail = value;
        return r;
    };
    std::atomic<bool> running{true};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&] {
            while (running) {
                const TSettingsRecord r = shared.Copy();
                if (r.FTPServer != r.WebRoot || r.FTPUserName != r.FromEmail || r.FTPPassword != r.FTPServer)
                    ++torn;
            }
        });
    for (int i = 0; i < 2000; ++i) {
        shared.Assign(uniform(std::string(static_cast<std::size_t>(i % 50), 'a' + static_cast<char>(i % 26))));
        shared.Update([](TSettingsRecord& r) { r.ProfilesValid = !r.ProfilesValid; });
    }
    running = false;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace tavrin
