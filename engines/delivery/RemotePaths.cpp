#include "engines/delivery/RemotePaths.h"

namespace tavrin {

namespace {

bool StartsWith(const std::string& text, const std::string& beginning)
{
    return text.compare(0, beginning.size(), beginning) == 0;
}

}  // namespace

std::string RemoteCommonPart(const std::string& wanted, const std::string& current)
{
    if (wanted.size() < current.size() && StartsWith(current, wanted))
        return wanted;
    if (wanted.size() >= current.size() && StartsWith(wanted, current))
        return current;
    std::size_t length = 0;
    while (length < wanted.size() && length < current.size() && wanted[length] == current[length])
        ++length;
    std::string common = wanted.substr(0, length);
    while (!common.empty() && common.back() != '/')
        common.pop_back();
    return common;
}

std::vector<std::string> RemoteFolderNames(const std::string& relative)
{
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < relative.size()) {
        while (at < relative.size() && relative[at] == '/')
            ++at;
        const std::size_t slash = relative.find('/', at);
        const std::size_t end = slash == std::string::npos ? relative.size() : slash;
        if (end > at)
            names.push_back(relative.substr(at, end - at));
        at = end;
    }
    return names;
}

}  // namespace tavrin
