#include "imaging/TiffErrorHandler.h"

#include "platform/MessageBox.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace tavrin {

namespace {

void ShowTiffError(const char* module, const char* format, va_list arguments)
{
    char message[1024];
    std::vsnprintf(message, sizeof message, format, arguments);
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

}  // namespace tavrin
