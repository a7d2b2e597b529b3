#include "tests/delivery/ServerProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tavrin::testing {

TServerProcess::TServerProcess(const std::vector<std::string>& command, const std::filesystem::path& portFile,
                               std::chrono::seconds startTimeout)
{
    std::vector<char*> arguments;
    for (const std::string& argument : command)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    pid_t child = -1;
    if (posix_spawn(&child, arguments[0], nullptr, nullptr, arguments.data(), environ) != 0)
        throw std::runtime_error("Cannot start " + command.front());
    ProcessID = child;

    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream file(portFile);
        if (file >> ListeningPort && ListeningPort > 0)
            return;
        int status = 0;
        if (waitpid(ProcessID, &status, WNOHANG) == ProcessID) {
            ProcessID = -1;
            throw std::runtime_error(command.front() + " ended before it listened");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    throw std::runtime_error(command.front() + " did not start listening");
}

TServerProcess::~TServerProcess()
{
    Stop();
}

void TServerProcess::Stop()
{
    if (ProcessID <= 0)
        return;
    kill(ProcessID, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < 250; ++waited) {
        if (waitpid(ProcessID, &status, WNOHANG) == ProcessID) {
            ProcessID = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(ProcessID, SIGKILL);
    waitpid(ProcessID, &status, 0);
    ProcessID = -1;
}

TTemporaryFolder::TTemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tavrin-ftp-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("Cannot make a temporary folder");
    Folder = pattern;
}

TTemporaryFolder::~TTemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
}

std::string FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string NoiseBytes(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

}  // namespace tavrin::testing
