#include "tools/pgbwrite/PageBufferWriter.h"

#include "tools/pgbwrite/BandEncoder.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace tavrin {

namespace {

void AppendLittleEndian(std::string& bytes, std::uint64_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// Header keys in the order the RIP writes them, before overrides.
std::vector<std::pair<std::string, std::string>> DefaultHeader(const TBitmap& bitmap, const TPlateOptions& options,
                                                               int bytesInLine, int maxBand)
{
    std::string colorValues;
    for (int value : options.ColorValues)
        colorValues += (colorValues.empty() ? "" : ",") + std::to_string(value);
    return {
        {"/PageHeaderVersion", std::to_string(options.Version)},
        {"/HighByteFirst", "false"},
        {"/BandHeight", std::to_string(options.BandHeight)},
        {"/BytesInLine", std::to_string(bytesInLine)},
        {"/BytesInBand", std::to_string(options.BandHeight * bytesInLine)},
        {"/MaxBand", std::to_string(maxBand)},
        {"/Compressed", options.Compress ? "7" : "-1"},
        {"/DeviceName", EscapedText("Tavrin test writer")},
        {"/XResolution", std::to_string(options.Resolution)},
        {"/YResolution", std::to_string(options.Resolution)},
        {"/ImageNegate", "true"},
        {"/MarginNegate", "false"},
        {"/ImageWidth", std::to_string(bitmap.Width)},
        {"/ImageHeight", std::to_string(bitmap.Height)},
        {"/DataWidth", std::to_string(bytesInLine * 8)},
        {"/JobNumber", std::to_string(options.JobNumber)},
        {"/PageNumber", std::to_string(options.PageNumber)},
        {"/JobName", EscapedText(options.JobName)},
        {"/ColorType", "1"},
        {"/ColorValues", "[" + colorValues + "]"},
        {"/ColorName", EscapedText(options.ColorName)},
        {"/RunLength", options.Compress ? "true" : "false"},
    };
}

void ApplyOverrides(std::vector<std::pair<std::string, std::string>>& header,
                    const std::vector<std::pair<std::string, std::string>>& overrides)
{
    for (const auto& [key, value] : overrides) {
        auto found = std::find_if(header.begin(), header.end(), [&](const auto& entry) { return entry.first == key; });
        if (found != header.end())
            found->second = value;
        else
            header.emplace_back(key, value);
    }
}

// "/Key value", or for "[a,b]" the key alone, "[", one item per line, "]".
void AppendHeaderLines(std::vector<std::string>& lines, const std::string& key, const std::string& value)
{
    if (value.size() < 2 || value.front() != '[' || value.back() != ']') {
        lines.push_back(key + " " + value);
        return;
    }
    lines.push_back(key);
    lines.push_back("[");
    const std::string items = value.substr(1, value.size() - 2);
    for (std::size_t start = 0; start < items.size();) {
        const std::size_t comma = std::min(items.find(',', start), items.size());
        lines.push_back(items.substr(start, comma - start));
        start = comma + 1;
    }
    lines.push_back("]");
}

// One band of page lines: words byte-swapped from PBM order, zero padded.
std::vector<std::uint8_t> BandBytes(const TBitmap& bitmap, int firstLine, int bandHeight, int bytesInLine)
{
    std::vector<std::uint8_t> band(static_cast<std::size_t>(bandHeight) * bytesInLine);
    const std::size_t rowBytes = bitmap.RowBytes();
    for (int y = 0; y < bandHeight && firstLine + y < bitmap.Height; ++y) {
        const std::uint8_t* row = bitmap.Bits.data() + static_cast<std::size_t>(firstLine + y) * rowBytes;
        std::uint8_t* line = band.data() + static_cast<std::size_t>(y) * bytesInLine;
        for (std::size_t k = 0; k < rowBytes && k < static_cast<std::size_t>(bytesInLine); ++k)
            line[(k & ~std::size_t(3)) + 3 - (k & 3)] = row[k];
    }
    return band;
}

std::vector<std::uint8_t> StoredBand(const std::vector<std::uint8_t>& band, int bytesInLine, bool compress)
{
    if (std::all_of(band.begin(), band.end(), [](std::uint8_t b) { return b == 0; }))
        return {};
    if (!compress)
        return band;
    std::vector<std::uint8_t> coded = EncodeBand(band.data(), band.size(), static_cast<std::size_t>(bytesInLine));
    return coded.size() < band.size() ? coded : band;
}

}  // namespace

std::string EscapedText(const std::string& text)
{
    std::string escaped = "(";
    for (char c : text) {
        if (c == '\\' || c == '(' || c == ')')
            escaped += '\\';
        escaped += c;
    }
    return escaped + ")";
}

std::string PageBufferBytes(const TPageBufferLayout& layout)
{
    std::string bytes;
    for (const std::string& line : layout.HeaderLines)
        bytes += line + layout.LineEnd;
    bytes += "pgbimage" + layout.LineEnd;

    const bool wide = layout.TableVersion >= 20;
    std::uint64_t offset = bytes.size() + (wide ? 12 : 8) * layout.Bands.size();
    std::vector<std::uint64_t> offsets;
    for (const auto& band : layout.Bands) {
        offsets.push_back(band.empty() ? 0 : offset);
        offset += band.size();
    }
    if (wide)
        for (std::uint64_t o : offsets)
            AppendLittleEndian(bytes, o, 8);
    for (const auto& band : layout.Bands)
        AppendLittleEndian(bytes, band.size(), 4);
    if (!wide)
        for (std::uint64_t o : offsets)
            AppendLittleEndian(bytes, o, 4);
    for (const auto& band : layout.Bands)
        bytes.append(band.begin(), band.end());
    return bytes;
}

TPageBufferLayout PlateLayout(const TBitmap& bitmap, const TPlateOptions& options)
{
    const int bytesInLine = options.BytesInLine > 0 ? options.BytesInLine : (bitmap.Width + 31) / 32 * 4;
    if (bitmap.Width <= 0 || bitmap.Height <= 0 || options.BandHeight <= 0 || bytesInLine % 4 != 0 ||
        static_cast<std::size_t>(bytesInLine) < bitmap.RowBytes())
        throw std::invalid_argument("unusable plate geometry");
    const int maxBand = (bitmap.Height + options.BandHeight - 1) / options.BandHeight;

    auto header = DefaultHeader(bitmap, options, bytesInLine, maxBand);
    ApplyOverrides(header, options.Overrides);
    TPageBufferLayout layout;
    layout.LineEnd = options.LineEnd;
    layout.TableVersion = options.Version;
    for (const auto& [key, value] : header)
        AppendHeaderLines(layout.HeaderLines, key, value);
    for (int band = 0; band < maxBand; ++band)
        layout.Bands.push_back(StoredBand(BandBytes(bitmap, band * options.BandHeight, options.BandHeight, bytesInLine),
                                          bytesInLine, options.Compress));
    return layout;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("Cannot write \"" + path + "\"");
}

}  // namespace tavrin
