#include "base/platform/ProgramPath.h"

#include <filesystem>
#include <mutex>
#include <system_error>

namespace tavrin {

namespace {

std::mutex OverrideMutex;
std::string OverridePath;

std::string WithoutLongPathPrefix(std::string path)
{
    const std::string prefix = "\\\\?\\";
    if (path.rfind(prefix, 0) == 0)
        path.erase(0, prefix.size());
    return path;
}

}  // namespace

std::string ExecutablePath()
{
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string ProgramFilePath()
{
    {
        std::lock_guard lock(OverrideMutex);
        if (!OverridePath.empty())
            return WithoutLongPathPrefix(OverridePath);
    }
    return WithoutLongPathPrefix(ExecutablePath());
}

void OverrideProgramFilePath(const std::string& path)
{
    std::lock_guard lock(OverrideMutex);
    OverridePath = path;
}

}  // namespace tavrin
