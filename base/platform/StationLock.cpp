#include "base/platform/StationLock.h"

#include "base/platform/ProgramPath.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace tavrin {

namespace {

// The number the holder wrote into the file; it writes right after locking,
// so a reader that comes in between waits a moment for it.
std::optional<long> ReadHolder(int handle)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        char text[32] = {};
        const ssize_t count = ::pread(handle, text, sizeof text - 1, 0);
        if (count > 0) {
            char* end = nullptr;
            const long process = std::strtol(text, &end, 10);
            if (end != text && process > 0)
                return process;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

}  // namespace

std::string StationLockPath()
{
    return std::filesystem::path(ProgramFilePath()).replace_extension(".lock").string();
}

TStationLock::TStationLock(const std::string& lockPath)
{
    const std::string folder = std::filesystem::path(lockPath).parent_path().string();
    Handle = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (Handle < 0) {
        RefusalText = "The station in " + folder + " cannot be locked: " + std::strerror(errno) + ".";
        return;
    }
    if (::flock(Handle, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            HolderProcess = ReadHolder(Handle);
            RefusalText = "The station in " + folder + " is in use by " +
                          (HolderProcess ? "process " + std::to_string(*HolderProcess) : "another process") + ".";
        } else {
            RefusalText = "The station in " + folder + " cannot be locked: " + std::strerror(error) + ".";
        }
        return;
    }
    Holding = true;
    const std::string process = std::to_string(::getpid()) + "\n";
    if (::ftruncate(Handle, 0) == 0)
        (void)!::pwrite(Handle, process.data(), process.size(), 0);
}

TStationLock::~TStationLock()
{
    if (Handle < 0)
        return;
    if (Holding) {
        // The next holder writes its own number; an empty file says nobody holds it.
        (void)!::ftruncate(Handle, 0);
        ::flock(Handle, LOCK_UN);
    }
    ::close(Handle);
}

}  // namespace tavrin
