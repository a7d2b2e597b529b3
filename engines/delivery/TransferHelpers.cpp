#include "engines/delivery/TransferHelpers.h"

#include "base/catalogue/OutputLayout.h"
#include "base/text/TextRules.h"

#include <filesystem>

namespace tavrin {

std::vector<std::string> ListFolderFiles(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(WithSingleTrailingBackslash(folder), error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        std::error_code ignored;
        if (!entries->is_directory(ignored))
            names.push_back(entries->path().filename().string());
    }
    return names;
}

bool IsTextTransferName(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    const std::string extension = LowerCase(name.substr(dot));
    for (const char* text : {".htm", ".html", ".php", ".js", ".txt"})
        if (extension == text)
            return true;
    return false;
}

}  // namespace tavrin
