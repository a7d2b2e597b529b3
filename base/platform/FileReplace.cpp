#include "base/platform/FileReplace.h"

#include "base/platform/PrivateFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrin {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error)
{
    throw std::runtime_error("Cannot " + what + " " + path + ": " + std::strerror(error));
}

void WriteAll(int file, const std::string& text, const std::string& path)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(file, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            Fail("write", path, errno);
        written += static_cast<std::size_t>(count);
    }
}

}  // namespace

void ReplaceFileContents(const std::string& linkOrPath, const std::string& text)
{
    // A file kept elsewhere and linked here is replaced where it lives: the
    // link stays a link.
    std::error_code linkError;
    std::string path = linkOrPath;
    if (std::filesystem::is_symlink(linkOrPath, linkError)) {
        const std::filesystem::path target = std::filesystem::weakly_canonical(linkOrPath, linkError);
        if (linkError)
            Fail("follow the link", linkOrPath, linkError.value());
        path = target.string();
    }
    const std::string temporary = path + ".tmp";
    // A new file is private; one that exists keeps the access the shop gave it.
    struct stat existing {};
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : PrivateFileMode;
    const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, PrivateFileMode);
    if (file < 0)
        Fail("create", temporary, errno);
    try {
        if (::fchmod(file, mode) != 0)
            Fail("set the access of", temporary, errno);
        WriteAll(file, text, temporary);
        if (::fsync(file) != 0)
            Fail("write", temporary, errno);
    } catch (...) {
        ::close(file);
        ::unlink(temporary.c_str());
        throw;
    }
    if (::close(file) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        Fail("write", temporary, error);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        Fail("replace", path, error);
    }
    // The rename itself reaches the disk with the folder.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const int directory = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
}

}  // namespace tavrin
