#include "tests/pagebuffer/PageBufferFiles.h"

#include <random>

namespace tavrin::testing {

void PageBufferFiles::SetUp()
{
    std::random_device random;
    Folder = std::filesystem::temp_directory_path() / ("tavrin-pgb-" + std::to_string(random()));
    std::filesystem::create_directories(Folder);
}

void PageBufferFiles::TearDown()
{
    std::filesystem::remove_all(Folder);
}

std::string PageBufferFiles::Write(const std::string& name, const std::string& bytes)
{
    const std::string path = (Folder / name).string();
    WriteFileBytes(path, bytes);
    return path;
}

std::string PageBufferFiles::Write(const std::string& name, const TPageBufferLayout& layout)
{
    return Write(name, PageBufferBytes(layout));
}

TPageBufferLayout PageBufferFiles::Layout(int bytesInLine, int bytesInBand,
                                          std::vector<std::vector<std::uint8_t>> bands, int compressed)
{
    TPageBufferLayout layout;
    layout.HeaderLines = {"/PageHeaderVersion 20", "/BytesInLine " + std::to_string(bytesInLine),
                          "/BytesInBand " + std::to_string(bytesInBand), "/MaxBand " + std::to_string(bands.size()),
                          "/Compressed " + std::to_string(compressed)};
    layout.Bands = std::move(bands);
    return layout;
}

}  // namespace tavrin::testing
