#include "catalogue/OutputLayout.h"

#include "platform/ProgramPath.h"

#include <cstdio>
#include <filesystem>

namespace tavrin {

namespace {

std::string WithoutTrailing(std::string text, char c)
{
    while (!text.empty() && text.back() == c)
        text.pop_back();
    return text;
}

}  // namespace

std::string ProgramFolder()
{
    return WithSingleTrailingBackslash(std::filesystem::path(ProgramFilePath()).parent_path().string());
}

std::string OutputFolder()
{
    return ProgramFolder() + "output" + PathDelimiter;
}

std::string PageNumberText(int page)
{
    char text[16];
    std::snprintf(text, sizeof text, "-%4.4d", page);
    return text;
}

std::string JobFolderPath(const std::string& uniqueID)
{
    return OutputFolder() + uniqueID + PathDelimiter;
}

std::string OverviewName(int page)
{
    return "overview" + PageNumberText(page) + ".png";
}

std::string JobWebAddress(const std::string& webRoot, const std::string& uniqueID)
{
    return webRoot + "tavrin/" + uniqueID + "/";
}

std::string WithTrailingBackslash(const std::string& text)
{
    return (text.empty() || text.back() == PathDelimiter) ? text : text + PathDelimiter;
}

std::string WithSingleTrailingBackslash(const std::string& text)
{
    return WithoutTrailing(text, PathDelimiter) + PathDelimiter;
}

std::string WithoutTrailingBackslash(const std::string& text)
{
    return WithoutTrailing(text, PathDelimiter);
}

std::string WithSingleTrailingSlash(const std::string& text)
{
    return WithoutTrailing(text, '/') + '/';
}

std::string WithoutTrailingSlash(const std::string& text)
{
    return WithoutTrailing(text, '/');
}

}  // namespace tavrin
