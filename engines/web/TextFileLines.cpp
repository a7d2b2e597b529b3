#include "engines/web/TextFileLines.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tavrin {

std::vector<std::string> TextFileLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("Could not open " + path + ": " + std::strerror(errno));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    if (in.bad())
        throw std::runtime_error("Could not read " + path + ": " + std::strerror(errno));
    return lines;
}

}  // namespace tavrin
