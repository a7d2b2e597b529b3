#include "tests/support/CliRunner.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
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

struct TChildRules {
    const std::uint64_t* Limit = nullptr;
    const std::pair<uid_t, gid_t>* User = nullptr;
};

// Runs the program through the shell, with the rules applied in the child when given.
TCliResult Run(const std::string& program, const std::string& arguments, TChildRules rules = {})
{
    const char* station = std::getenv("TAVRIN_STATION_DIR");
    const std::filesystem::path folder = station ? station : ".";
    const auto scratch = std::filesystem::temp_directory_path() /
                         ("tavrin-cli-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand()));
    std::filesystem::create_directories(scratch);
    const std::string out = (scratch / "out").string();
    const std::string err = (scratch / "err").string();
    const std::string run = "'" + (folder / program).string() + "' " + arguments;
    const std::string command = run + " >'" + out + "' 2>'" + err + "' </dev/null";
    int status = -1;
    if (!rules.Limit && !rules.User) {
        status = std::system(command.c_str());
    } else if (const pid_t child = ::fork(); child == 0) {
        if (rules.Limit) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit size{*rules.Limit, *rules.Limit};
            ::setrlimit(RLIMIT_FSIZE, &size);
        }
        if (rules.User) {
            // The output files are opened while the child may still write them.
            const int outFile = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFile = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int nothing = ::open("/dev/null", O_RDONLY);
            if (outFile < 0 || errFile < 0 || nothing < 0 || ::dup2(outFile, 1) < 0 || ::dup2(errFile, 2) < 0 ||
                ::dup2(nothing, 0) < 0 || ::setgroups(0, nullptr) != 0 || ::setgid(rules.User->second) != 0 ||
                ::setuid(rules.User->first) != 0)
                ::_exit(126);
            ::execl("/bin/sh", "sh", "-c", run.c_str(), static_cast<char*>(nullptr));
        } else {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        }
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
    return Run(program, arguments);
}

TCliResult RunProgramWithFileSizeLimit(const std::string& program, const std::string& arguments,
                                       std::uint64_t limitBytes)
{
    return Run(program, arguments, {&limitBytes, nullptr});
}

TCliResult RunProgramAsUser(const std::string& program, const std::string& arguments, unsigned user, unsigned group)
{
    const std::pair<uid_t, gid_t> ids(user, group);
    return Run(program, arguments, {nullptr, &ids});
}

}  // namespace tavrin::testing
