// pgbwrite: writes a page buffer file (*.pgb) from a 1-bit raster, for test
// fixtures and benchmarks. The station itself only reads page buffers.
#include "tools/pgbwrite/PageBufferWriter.h"
#include "tools/pgbwrite/RasterInput.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tavrin;

namespace {

const char* const Usage = "Usage: pgbwrite [OPTIONS] INPUT OUTPUT.pgb\n"
                          "Writes a page buffer from a binary PBM (P4) or a 1-bit TIFF (set bits are ink).\n"
                          "  --version N          PageHeaderVersion; below 20: 4-byte sizes then offsets,\n"
                          "                       20 and above: 8-byte offsets then sizes (default 20)\n"
                          "  --line-end lf|cr|crlf  header line ends (default lf)\n"
                          "  --raw                store bands uncompressed (Compressed -1); default compression 7\n"
                          "  --band-height N      lines per band (default 64)\n"
                          "  --bytes-in-line N    bytes per line, a multiple of 4 (default: whole 32-bit words)\n"
                          "  --job-number N  --page-number N  --job-name TEXT  --color-name TEXT\n"
                          "  --color-values C,M,Y,K  --resolution DPI\n"
                          "  --set /Key=VALUE     replace or add a header key; VALUE is written as is,\n"
                          "                       [a,b,...] as a bracketed list\n";

int UsageError(const std::string& text)
{
    std::fprintf(stderr, "pgbwrite: %s\n%s", text.c_str(), Usage);
    return 2;
}

int Integer(const std::string& text)
{
    std::size_t used = 0;
    const int value = std::stoi(text, &used);
    if (used != text.size())
        throw std::invalid_argument(text);
    return value;
}

std::string LineEnd(const std::string& name)
{
    if (name == "lf")
        return "\n";
    if (name == "cr")
        return "\r";
    if (name == "crlf")
        return "\r\n";
    throw std::invalid_argument(name);
}

std::vector<int> IntegerList(const std::string& text)
{
    std::vector<int> values;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        values.push_back(Integer(text.substr(start, comma - start)));
        start = comma + 1;
    }
    return values;
}

// Applies one option with its value; false when the name is unknown.
bool ApplyOption(TPlateOptions& options, const std::string& name, const std::string& value)
{
    if (name == "--version")
        options.Version = Integer(value);
    else if (name == "--line-end")
        options.LineEnd = LineEnd(value);
    else if (name == "--band-height")
        options.BandHeight = Integer(value);
    else if (name == "--bytes-in-line")
        options.BytesInLine = Integer(value);
    else if (name == "--job-number")
        options.JobNumber = Integer(value);
    else if (name == "--page-number")
        options.PageNumber = Integer(value);
    else if (name == "--job-name")
        options.JobName = value;
    else if (name == "--color-name")
        options.ColorName = value;
    else if (name == "--color-values")
        options.ColorValues = IntegerList(value);
    else if (name == "--resolution")
        options.Resolution = Integer(value);
    else if (name == "--set" && value.find('=') != std::string::npos)
        options.Overrides.emplace_back(value.substr(0, value.find('=')), value.substr(value.find('=') + 1));
    else
        return false;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    TPlateOptions options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (argument == "--raw") {
            options.Compress = false;
            continue;
        }
        if (argument.rfind("--", 0) != 0) {
            files.push_back(argument);
            continue;
        }
        if (i + 1 >= argc)
            return UsageError("missing value for " + argument);
        try {
            if (!ApplyOption(options, argument, argv[++i]))
                return UsageError("unknown option " + argument);
        } catch (const std::logic_error&) {
            return UsageError("bad value for " + argument + ": " + argv[i]);
        }
    }
    if (files.size() != 2)
        return UsageError("expected INPUT and OUTPUT");
    try {
        WriteFileBytes(files[1], PageBufferBytes(PlateLayout(ReadBitmap(files[0]), options)));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pgbwrite: %s\n", error.what());
        return 1;
    }
    return 0;
}
