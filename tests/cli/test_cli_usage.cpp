#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

using testing::RunProgram;

TEST(CliUsage, HelpSucceedsAndUsageErrorsExitWithTwo)
{
    struct TCase {
        const char* Arguments;
        int ExitStatus;
        bool UsageOnStandardOutput;
    };
    const TCase cases[] = {
        {"--help", 0, true},
        {"", 2, false},
        {"no-such-command", 2, false},
    };
    for (const TCase& c : cases) {
        const auto result = RunProgram("tavrin-cli", c.Arguments);
        EXPECT_EQ(result.ExitStatus, c.ExitStatus) << c.Arguments;
        const std::string& usage = c.UsageOnStandardOutput ? result.Output : result.Errors;
        EXPECT_NE(usage.find("Usage: tavrin-cli COMMAND"), std::string::npos) << c.Arguments;
    }
}

}  // namespace
}  // namespace tavrin
