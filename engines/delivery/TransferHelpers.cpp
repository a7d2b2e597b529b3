#include "engines/delivery/TransferHelpers.h"

#include "base/catalogue/OutputLayout.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tavrin {

std::string TrimmedText(const std::string& text)
{
    const auto kept = [](unsigned char c) { return c > ' '; };
    const auto first = std::find_if(text.begin(), text.end(), kept);
    const auto last = std::find_if(text.rbegin(), text.rend(), kept).base();
    return first < last ? std::string(first, last) : std::string();
}

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
    const std::string extension = LowerCaseText(name.substr(dot));
    for (const char* text : {".htm", ".html", ".php", ".js", ".txt"})
        if (extension == text)
            return true;
    return false;
}

std::string LowerCaseText(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace tavrin
