#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueDefinition.h"
#include "base/settings/SettingsFile.h"
#include "base/tasking/StationLog.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace tavrin {
namespace {

namespace fs = std::filesystem;
using testing::TScratchProgramFolder;

// The permission bits of a file, as the system keeps them.
unsigned ModeOf(const fs::path& path)
{
    return static_cast<unsigned>(fs::status(path).permissions()) & 0777u;
}

// Even with a permissive umask, the files that hold passwords, customers'
// addresses and their answers are made for their owner alone.
TEST(PrivateFiles, TheSettingsTheCatalogueAndTheLogAreCreatedForTheirOwnerOnly)
{
    const mode_t before = ::umask(022);
    TScratchProgramFolder folder;
    struct TCase {
        const char* Name;
        std::function<fs::path()> Create;
    };
    const TCase cases[] = {
        {"settings file",
         [&] {
             SaveSettings(TSettingsRecord{});
             return folder.Path("tavrin.ini");
         }},
        {"catalogue",
         [&] {
             folder.CopyStationFile("tavrin.dbi");
             PrepareCatalogue(CatalogueFilePath(), true);
             return fs::path(CatalogueFilePath());
         }},
        {"daily log",
         [&] {
             TStationLog log([] { return TLocalTime{2026, 12, 11, 9, 0, 0, 0}; });
             log.KeepFilesIn(folder.Path("log").string());
             log.Log("Remote Path: a line");
             return folder.Path("log") / "tavrin-2026-12-11.log";
         }},
    };
    for (const TCase& c : cases) {
        const fs::path path = c.Create();
        ASSERT_TRUE(fs::exists(path)) << c.Name;
        EXPECT_EQ(ModeOf(path), 0600u) << c.Name;
    }
    ::umask(before);
}

TEST(PrivateFiles, ASettingsFileTheShopOpenedUpKeepsItsAccessWhenSaved)
{
    TScratchProgramFolder folder;
    folder.Write("tavrin.ini", "[Main]\n");
    fs::permissions(folder.Path("tavrin.ini"), fs::perms(0640));
    TSettingsRecord changed;
    changed.SMTPHost = "mail.example.com";
    SaveSettings(changed);
    EXPECT_EQ(ModeOf(folder.Path("tavrin.ini")), 0640u);
    EXPECT_NE(folder.Read("tavrin.ini").find("mail.example.com"), std::string::npos);
}

}  // namespace
}  // namespace tavrin
