#include "engines/imaging/PreviewBitmap.h"

#include <gd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <stdexcept>

namespace tavrin {

std::uint32_t TPreviewBitmap::ColorValue(std::uint32_t x, std::uint32_t y) const
{
    const std::uint8_t* pixel = Bytes.data() + (std::size_t(y) * Width + x) * 3;
    return std::uint32_t(pixel[0]) | std::uint32_t(pixel[1]) << 8 | std::uint32_t(pixel[2]) << 16;
}

TPreviewBitmap LoadPreviewBitmap(const std::string& fileName)
{
    const auto fail = [&](const std::string& reason) {
        throw std::runtime_error("Cannot read " + fileName + ": " + reason);
    };
    TPreviewBitmap bitmap;
    // 1. The whole file into memory.
    std::ifstream file(fileName, std::ios::binary);
    if (!file)
        fail(std::strerror(errno));
    const std::vector<char> data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        fail(std::strerror(errno));
    if (data.empty())
        fail("the file is empty");
    if (data.size() > std::size_t(std::numeric_limits<int>::max()))
        fail("the file is too large for a picture");
    // 2. Decode; libgd gives true-colour pixels 0xAARRGGBB for palette files too.
    std::unique_ptr<gdImage, decltype(&gdImageDestroy)> image(
        gdImageCreateFromPngPtr(static_cast<int>(data.size()), const_cast<char*>(data.data())), gdImageDestroy);
    if (!image)
        fail("not a PNG picture");
    // 3. Copy into the 24-bit picture, red first.
    bitmap.Width = static_cast<std::uint32_t>(gdImageSX(image.get()));
    bitmap.Height = static_cast<std::uint32_t>(gdImageSY(image.get()));
    bitmap.Bytes.resize(std::size_t(bitmap.Width) * bitmap.Height * 3);
    std::uint8_t* out = bitmap.Bytes.data();
    for (int y = 0; y < gdImageSY(image.get()); ++y) {
        for (int x = 0; x < gdImageSX(image.get()); ++x) {
            const int color = gdImageGetTrueColorPixel(image.get(), x, y);
            *out++ = static_cast<std::uint8_t>(gdTrueColorGetRed(color));
            *out++ = static_cast<std::uint8_t>(gdTrueColorGetGreen(color));
            *out++ = static_cast<std::uint8_t>(gdTrueColorGetBlue(color));
        }
    }
    return bitmap;
}

}  // namespace tavrin
