#include "tests/support/CliRunner.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace tavrin::testing {

namespace {

std::string ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TCliResult RunProgram(const std::string& program, const std::string& arguments)
{
    const char* station = std::getenv("TAVRIN_STATION_DIR");
    const std::filesystem::path folder = station ? station : ".";
    const auto scratch = std::filesystem::temp_directory_path() /
                         ("tavrin-cli-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand()));
    std::filesystem::create_directories(scratch);
    const std::string command = "'" + (folder / program).string() + "' " + arguments + " >'" +
                                (scratch / "out").string() + "' 2>'" + (scratch / "err").string() + "' </dev/null";
    const int status = std::system(command.c_str());

    TCliResult result;
    result.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Output = ReadWhole(scratch / "out");
    result.Errors = ReadWhole(scratch / "err");
    std::filesystem::remove_all(scratch);
    return result;
}

}  // namespace tavrin::testing
