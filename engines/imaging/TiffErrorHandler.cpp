#include "engines/imaging/TiffErrorHandler.h"

#include "base/platform/MessageBox.h"

#include <tiffio.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace tavrin {

namespace {

thread_local std::string LastError;
thread_local int LastSystemError = 0;

void ShowTiffError(const char* module, const char* format, va_list arguments)
{
    // Taken first: formatting and the box may change errno.
    const int systemError = errno;
    char message[1024];
    std::vsnprintf(message, sizeof message, format, arguments);
    LastError = (module ? std::string(module) + ": " : std::string()) + message;
    LastSystemError = systemError;
    // Only a task's capture takes the box (a log line and the task's
    // failure); any other thread would block on a real box, so there the
    // caller raises the reason kept above instead.
    if (MessageBoxesCapturedOnThisThread())
        ShowMessageBox("Tiff Error", std::string(message) + "\n\r" + (module ? module : ""), TMessageBoxIcon::Error);
}

}  // namespace

void InstallTiffErrorHandler()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        TIFFSetErrorHandler(ShowTiffError);
        TIFFSetWarningHandler(nullptr);
    });
}

std::string LastTiffError()
{
    return LastError;
}

int LastTiffSystemError()
{
    return LastSystemError;
}

void ClearLastTiffError()
{
    LastError.clear();
    LastSystemError = 0;
}

std::string LastTiffFailure()
{
    if (LastSystemError != 0)
        return std::strerror(LastSystemError) + (LastError.empty() ? std::string() : " (" + LastError + ")");
    return LastError.empty() ? "unknown error" : LastError;
}

}  // namespace tavrin
