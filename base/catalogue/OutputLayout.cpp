#include "base/catalogue/OutputLayout.h"

#include "base/catalogue/JobSecret.h"
#include "base/platform/ProgramPath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

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

bool IsUniqueID(const std::string& text)
{
    return text.size() == 17 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

const std::string& CheckedUniqueID(const std::string& uniqueID)
{
    if (!IsUniqueID(uniqueID))
        throw std::invalid_argument("The job's unique id \"" + uniqueID +
                                    "\" is not 17 digits: no file or folder is named after it");
    return uniqueID;
}

std::string JobFolderPath(const std::string& uniqueID)
{
    return OutputFolder() + CheckedUniqueID(uniqueID) + PathDelimiter;
}

std::string OverviewName(int page)
{
    return "overview" + PageNumberText(page) + ".png";
}

std::string JobWebAddress(const std::string& webRoot, const std::string& uniqueID, const std::string& secret)
{
    return webRoot + "tavrin/" + RemoteJobFolderName(uniqueID, secret) + "/";
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

namespace {

constexpr std::string_view UnfinishedSuffix = ".part";

// Removes the unfinished files in folder whose names begin with prefix.
void RemoveUnfinishedIn(const std::string& folder, const std::string& prefix, std::vector<std::string>& removed)
{
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error)
        return;
    for (auto entry = std::filesystem::begin(entries); entry != std::filesystem::end(entries); entry.increment(error)) {
        if (error)
            return;
        const std::string name = entry->path().filename().string();
        std::error_code ignored;
        if (IsUnfinishedName(name) && name.rfind(prefix, 0) == 0 && entry->is_regular_file(ignored) &&
            std::filesystem::remove(entry->path(), ignored))
            removed.push_back(entry->path().string());
    }
}

}  // namespace

std::string UnfinishedName(const std::string& path)
{
    return path + std::string(UnfinishedSuffix);
}

bool IsUnfinishedName(const std::string& name)
{
    return name.size() > UnfinishedSuffix.size() &&
           name.compare(name.size() - UnfinishedSuffix.size(), UnfinishedSuffix.size(), UnfinishedSuffix) == 0;
}

void CompleteUnfinished(const std::string& path)
{
    const std::string part = UnfinishedName(path);
    std::error_code error;
    std::filesystem::rename(part, path, error);
    if (!error)
        return;
    std::error_code ignored;
    std::filesystem::remove(part, ignored);
    throw std::runtime_error("Cannot rename " + part + " to " + path + ": " + error.message());
}

void WriteWholeFile(const std::string& path, const void* data, std::size_t size)
{
    const std::string part = UnfinishedName(path);
    std::ofstream file(part, std::ios::binary | std::ios::trunc);
    if (file)
        file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (file)
        file.close();
    if (!file) {
        const int error = errno;
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
        throw std::runtime_error("Cannot write " + part + ": " + std::strerror(error));
    }
    CompleteUnfinished(path);
}

void RemoveOutputFile(const std::string& path)
{
    std::error_code error;
    std::filesystem::remove(path, error);
    if (error)
        throw std::runtime_error("Cannot remove " + path + ": " + error.message());
}

std::vector<std::string> RemoveUnfinishedOutput(const std::string& uniqueID)
{
    std::vector<std::string> removed;
    // Without a proper id the job folder could be the whole output folder, or more.
    if (!IsUniqueID(uniqueID))
        return removed;
    RemoveUnfinishedIn(JobFolderPath(uniqueID), "", removed);
    RemoveUnfinishedIn(OutputFolder(), uniqueID + "-", removed);
    return removed;
}

}  // namespace tavrin
