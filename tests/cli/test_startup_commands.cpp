#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace tavrin {
namespace {

using testing::RunProgram;
using testing::TScratchProgramFolder;

TEST(CipherCommands, EncipherAndDecipherForHandEditedSettings)
{
    const auto enciphered = RunProgram("tavrin-cli", "encipher 'pass \"word\"'");
    ASSERT_EQ(enciphered.ExitStatus, 0);
    ASSERT_EQ(enciphered.Output.size(), 33u);  // 12 bytes: 24 cipher bytes, 32 characters and a line break
    const auto deciphered = RunProgram("tavrin-cli", "decipher '" + enciphered.Output.substr(0, 32) + "'");
    EXPECT_EQ(deciphered.ExitStatus, 0);
    EXPECT_EQ(deciphered.Output, "pass \"word\"\n");

    const auto garbage = RunProgram("tavrin-cli", "decipher not-a-cipher-text");
    EXPECT_EQ(garbage.ExitStatus, 1);
    EXPECT_NE(garbage.Errors.find("not a cipher text"), std::string::npos);
    EXPECT_EQ(RunProgram("tavrin-cli", "encipher").ExitStatus, 2);
    EXPECT_EQ(RunProgram("tavrin-cli", "decipher a b").ExitStatus, 2);
}

using StartupCommand = testing::ScratchStation;

TEST_F(StartupCommand, PreparesTheCatalogueAndReportsWhatStopsIt)
{
    // No definition file: the catalogue cannot be made.
    auto result = RunProgram("tavrin-cli", "startup");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_NE(result.Errors.find("tavrin.dbi"), std::string::npos) << result.Errors;
    EXPECT_FALSE(std::filesystem::exists(Folder.Path("tavrin.mdb"))) << "no catalogue without its definition";

    CopyFromStation("tavrin.dbi");
    result = RunProgram("tavrin-cli", "startup");
    EXPECT_EQ(result.ExitStatus, 0) << result.Errors;
    EXPECT_TRUE(std::filesystem::file_size(Folder.Path("tavrin.mdb")) > 0);
    EXPECT_EQ(RunProgram("tavrin-cli", "startup").ExitStatus, 0);

    const std::string foreign = "a spreadsheet, not a catalogue\n" + std::string(1000, '#');
    Folder.Write("tavrin.mdb", foreign);
    result = RunProgram("tavrin-cli", "startup");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_NE(result.Errors.find("is not a database"), std::string::npos) << result.Errors;
    EXPECT_EQ(Folder.Read("tavrin.mdb"), foreign);
}

using ContactsCommand = testing::ScratchStation;

TEST_F(ContactsCommand, AnAddressAServerWouldRefuseIsNotSaved)
{
    CopyFromStation("tavrin.dbi");
    const auto refused = RunProgram("tavrin-cli", "contacts save Eve \"$(printf 'eve@example.com\\r\\nDATA')\"");
    EXPECT_EQ(refused.ExitStatus, 1);
    // The terminal shows the line break as a plain one.
    EXPECT_NE(refused.Errors.find("Cannot add contact: \"eve@example.com\nDATA\" is not an e-mail address"),
              std::string::npos)
        << refused.Errors;
    const auto saved = RunProgram("tavrin-cli", "contacts save Ann ann@example.com");
    EXPECT_EQ(saved.ExitStatus, 0) << saved.Errors;
    EXPECT_EQ(RunProgram("tavrin-cli", "contacts list").Output, "1\tAnn\tann@example.com\n");
}

}  // namespace
}  // namespace tavrin
