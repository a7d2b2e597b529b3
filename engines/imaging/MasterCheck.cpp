#include "engines/imaging/MasterCheck.h"

#include <tiffio.h>

#include <filesystem>
#include <stdexcept>

namespace tavrin {

namespace {

// The most pixel bytes one stored byte of an LZW strip can decode to. A code
// takes at least 9 bits, so a stored byte holds less than one code, and no
// code stands for a string longer than libtiff's decoding table (5119
// entries, the 12-bit codes and the room it keeps for old-style files): 8192
// is a safe bound. Real masters stay far below it, as LZW restarts its table
// every 4094 codes.
constexpr std::uint64_t MaxLZWExpansion = 8192;

[[noreturn]] void Refuse(const std::string& fileName, const std::string& why)
{
    throw std::runtime_error("Master " + fileName + " is not readable: " + why);
}

template <typename T>
T Field(tiff* master, std::uint32_t tag)
{
    T value{};
    TIFFGetFieldDefaulted(master, tag, &value);
    return value;
}

}  // namespace

void CheckMasterTags(tiff* master, const std::string& fileName)
{
    // 1. What every master is.
    const auto bits = Field<std::uint16_t>(master, TIFFTAG_BITSPERSAMPLE);
    const auto samples = Field<std::uint16_t>(master, TIFFTAG_SAMPLESPERPIXEL);
    const auto photometric = Field<std::uint16_t>(master, TIFFTAG_PHOTOMETRIC);
    if (bits != 8 || samples != 1 || photometric != PHOTOMETRIC_PALETTE)
        Refuse(fileName, std::to_string(samples) + " sample(s) of " + std::to_string(bits) + " bits, photometric " +
                             std::to_string(photometric) + " instead of one 8-bit palette sample");
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (TIFFGetField(master, TIFFTAG_COLORMAP, &red, &green, &blue) != 1 || !red || !green || !blue)
        Refuse(fileName, "no colour map");
    if (TIFFIsTiled(master))
        Refuse(fileName, "stored in tiles, not strips");
    const auto compression = Field<std::uint16_t>(master, TIFFTAG_COMPRESSION);
    if (compression != COMPRESSION_LZW && compression != COMPRESSION_NONE)
        Refuse(fileName, "compression " + std::to_string(compression) + " is neither LZW nor none");

    // 2. Strips inside the file; an index cannot list more strips than the
    //    file has bytes, which also bounds this loop.
    std::error_code error;
    const std::uint64_t fileSize = std::filesystem::file_size(fileName, error);
    if (error)
        Refuse(fileName, error.message());
    const std::uint64_t strips = TIFFNumberOfStrips(master);
    if (strips == 0 || strips > fileSize)
        Refuse(fileName, std::to_string(strips) + " strips in a file of " + std::to_string(fileSize) + " bytes");
    std::uint64_t stored = 0;
    for (std::uint32_t strip = 0; strip < strips; ++strip) {
        int noOffset = 0, noSize = 0;
        const std::uint64_t offset = TIFFGetStrileOffsetWithErr(master, strip, &noOffset);
        const std::uint64_t size = TIFFGetStrileByteCountWithErr(master, strip, &noSize);
        if (noOffset || noSize || offset > fileSize || size > fileSize - offset)
            Refuse(fileName, "strip " + std::to_string(strip) + " (" + std::to_string(size) + " bytes at " +
                                 std::to_string(offset) + ") lies outside the file of " + std::to_string(fileSize) +
                                 " bytes");
        stored += size;
    }

    // 3. No more pixels than the stored bytes can decode to.
    const std::uint64_t width = Field<std::uint32_t>(master, TIFFTAG_IMAGEWIDTH);
    const std::uint64_t height = Field<std::uint32_t>(master, TIFFTAG_IMAGELENGTH);
    const std::uint64_t pixels = width * height;
    const std::uint64_t decodable = compression == COMPRESSION_LZW ? stored * MaxLZWExpansion : stored;
    if (pixels == 0 || pixels > decodable)
        Refuse(fileName, "it claims " + std::to_string(width) + " x " + std::to_string(height) +
                             " pixels but its strips hold " + std::to_string(stored) + " bytes, at most " +
                             std::to_string(decodable) + " pixels");
}

}  // namespace tavrin
