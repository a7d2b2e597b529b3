#pragma once

// libtiff's own LZW encoder as the master writer used it before it had one
// of its own: the bytes as the only strip of a TIFF in memory, with the tags
// that shape LZW output, and the strip's stream taken out of that file. The
// reference the station's encoder must equal byte for byte.
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tavrin::testing {

namespace libtiff_lzw {

struct TMemoryFile {
    std::vector<std::uint8_t> Bytes;
    std::uint64_t Position = 0;
};

inline tmsize_t Read(thandle_t handle, void* data, tmsize_t size)
{
    auto& file = *static_cast<TMemoryFile*>(handle);
    const std::uint64_t available = file.Position < file.Bytes.size() ? file.Bytes.size() - file.Position : 0;
    const std::uint64_t count = std::min<std::uint64_t>(available, static_cast<std::uint64_t>(size));
    std::memcpy(data, file.Bytes.data() + file.Position, count);
    file.Position += count;
    return static_cast<tmsize_t>(count);
}

inline tmsize_t Write(thandle_t handle, void* data, tmsize_t size)
{
    auto& file = *static_cast<TMemoryFile*>(handle);
    const std::uint64_t end = file.Position + static_cast<std::uint64_t>(size);
    if (end > file.Bytes.size())
        file.Bytes.resize(end);
    std::memcpy(file.Bytes.data() + file.Position, data, static_cast<std::size_t>(size));
    file.Position = end;
    return size;
}

inline toff_t Seek(thandle_t handle, toff_t offset, int whence)
{
    auto& file = *static_cast<TMemoryFile*>(handle);
    if (whence == SEEK_CUR)
        offset += file.Position;
    else if (whence == SEEK_END)
        offset += file.Bytes.size();
    file.Position = offset;
    return offset;
}

inline int Close(thandle_t)
{
    return 0;
}
inline toff_t Size(thandle_t handle)
{
    return static_cast<TMemoryFile*>(handle)->Bytes.size();
}
inline int Map(thandle_t, void**, toff_t*)
{
    return 0;
}
inline void Unmap(thandle_t, void*, toff_t) {}

}  // namespace libtiff_lzw

// The LZW stream libtiff writes for rows lines of width bytes.
inline std::vector<std::uint8_t> LibtiffLZWStrip(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t rows)
{
    using namespace libtiff_lzw;
    TMemoryFile memory;
    TIFF* encoder = TIFFClientOpen("strip", "w", &memory, Read, Write, Seek, Close, Size, Map, Unmap);
    if (!encoder)
        throw std::runtime_error("libtiff cannot open a TIFF in memory");
    TIFFSetField(encoder, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(encoder, TIFFTAG_IMAGELENGTH, rows);
    TIFFSetField(encoder, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(encoder, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(encoder, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(encoder, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(encoder, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(encoder, TIFFTAG_ROWSPERSTRIP, rows);
    const auto size = static_cast<tmsize_t>(std::size_t(rows) * width);
    std::uint64_t* offsets = nullptr;
    std::uint64_t* counts = nullptr;
    const bool ok = TIFFWriteEncodedStrip(encoder, 0, const_cast<std::uint8_t*>(pixels), size) == size &&
                    TIFFGetField(encoder, TIFFTAG_STRIPOFFSETS, &offsets) && offsets &&
                    TIFFGetField(encoder, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts;
    const std::uint64_t offset = ok ? offsets[0] : 0, count = ok ? counts[0] : 0;
    TIFFClose(encoder);
    if (!ok || offset + count > memory.Bytes.size())
        throw std::runtime_error("libtiff could not encode the strip");
    return {memory.Bytes.begin() + std::ptrdiff_t(offset), memory.Bytes.begin() + std::ptrdiff_t(offset + count)};
}

}  // namespace tavrin::testing
