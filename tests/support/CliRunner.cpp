#include "tests/support/CliRunner.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavrin::testing {

namespace {

std::string ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the program through the shell, with limit applied in the child when given.
TCliResult Run(const std::string& program, const std::string& arguments, const std::uint64_t* limit)
{
    const char* station = std::getenv("TAVRIN_STATION_DIR");
    const std::filesystem::path folder = station ? station : ".";
    const auto scratch = std::filesystem::temp_directory_path() /
                         ("tavrin-cli-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand()));
    std::filesystem::create_directories(scratch);
    const std::string command = "'" + (folder / program).string() + "' " + arguments + " >'" +
                                (scratch / "out").string() + "' 2>'" + (scratch / "err").string() + "' </dev/null";
    int status = -1;
    if (!limit) {
        status = std::system(command.c_str());
    } else if (const pid_t child = ::fork(); child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{*limit, *limit};
        ::setrlimit(RLIMIT_FSIZE, &size);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    } else if (child > 0) {
        ::waitpid(child, &status, 0);
    }

    TCliResult result;
    result.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Output = ReadWhole(scratch / "out");
    result.Errors = ReadWhole(scratch / "err");
    std::filesystem::remove_all(scratch);
    return result;
}

}  // namespace

TCliResult RunProgram(const std::string& program, const std::string& arguments)
{
    return Run(program, arguments, nullptr);
}

TCliResult RunProgramWithFileSizeLimit(const std::string& program, const std::string& arguments,
                                       std::uint64_t limitBytes)
{
    return Run(program, arguments, &limitBytes);
}

}  // namespace tavrin::testing
