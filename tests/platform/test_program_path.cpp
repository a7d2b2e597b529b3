#include "base/platform/ProgramPath.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(ProgramPath, IsTheRunningExecutableUnlessOverridden)
{
    EXPECT_NE(ExecutablePath().find("platform_tests"), std::string::npos);
    EXPECT_EQ(ProgramFilePath(), ExecutablePath());

    OverrideProgramFilePath("/opt/station/tavrin");
    EXPECT_EQ(ProgramFilePath(), "/opt/station/tavrin");

    // The long-path prefix of the original platform is dropped wherever it comes from.
    OverrideProgramFilePath("\\\\?\\C:\\Station\\tavrin.exe");
    EXPECT_EQ(ProgramFilePath(), "C:\\Station\\tavrin.exe");

    OverrideProgramFilePath("");
    EXPECT_EQ(ProgramFilePath(), ExecutablePath());
}

}  // namespace
}  // namespace tavrin
