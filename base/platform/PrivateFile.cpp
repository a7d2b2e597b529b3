#include "base/platform/PrivateFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace tavrin {

void CreatePrivateFile(const std::string& path)
{
    // O_EXCL: a file that is already there keeps its contents and its access.
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, PrivateFileMode);
    if (file < 0) {
        if (errno == EEXIST)
            return;
        throw std::runtime_error("Cannot create " + path + ": " + std::strerror(errno));
    }
    ::close(file);
}

std::FILE* OpenPrivateFileForAppend(const std::string& path)
{
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, PrivateFileMode);
    if (file < 0)
        return nullptr;
    std::FILE* stream = ::fdopen(file, "a");
    if (!stream) {
        const int error = errno;
        ::close(file);
        errno = error;
    }
    return stream;
}

}  // namespace tavrin
