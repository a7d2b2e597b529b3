#include "engines/imaging/MasterLayout.h"

#include <tiffio.h>

#include <algorithm>
#include <stdexcept>

namespace tavrin {

TMasterLayout TMasterLayout::Read(tiff* master)
{
    TMasterLayout layout;
    layout.FileName = TIFFFileName(master);
    std::uint32_t height = 0, rowsPerStrip = 0;
    TIFFGetField(master, TIFFTAG_IMAGEWIDTH, &layout.Width);
    TIFFGetField(master, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(master, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    layout.StripCount = TIFFIsTiled(master) ? 0 : TIFFNumberOfStrips(master);
    // A strip taller than the image holds the image.
    layout.RowsPerStrip = std::min(rowsPerStrip == 0 ? height : rowsPerStrip, height);
    if (layout.RowsPerStrip > 0)
        layout.Height = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(height, std::uint64_t(layout.StripCount) * layout.RowsPerStrip));
    const tmsize_t lineBytes = TIFFScanlineSize(master);
    const tmsize_t stripBytes = layout.RowsPerStrip ? TIFFVStripSize(master, layout.RowsPerStrip) : 0;
    layout.LineBytes = lineBytes > 0 ? static_cast<std::size_t>(lineBytes) : 0;
    // Strips are read as RowsPerStrip whole lines.
    layout.StripBytes = stripBytes > 0 ? std::max<std::size_t>(static_cast<std::size_t>(stripBytes),
                                                               layout.LineBytes * layout.RowsPerStrip)
                                       : 0;

    std::uint16_t bitsPerSample = 8;
    TIFFGetFieldDefaulted(master, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (TIFFGetField(master, TIFFTAG_COLORMAP, &red, &green, &blue) == 1 && red && green && blue) {
        layout.HasColorMap = true;
        // A colour map has 2^BitsPerSample entries; a shorter one leaves the rest black.
        const std::size_t entries = bitsPerSample < 8 ? std::size_t(1) << bitsPerSample : 256;
        for (std::size_t i = 0; i < entries; ++i) {
            layout.Red[i] = static_cast<std::uint8_t>(red[i] & 0xFF);
            layout.Green[i] = static_cast<std::uint8_t>(green[i] & 0xFF);
            layout.Blue[i] = static_cast<std::uint8_t>(blue[i] & 0xFF);
        }
    }
    return layout;
}

void TMasterLayout::CheckCopyCanStart() const
{
    if (!HasColorMap)
        throw std::runtime_error("Could not get Color Map of " + FileName);
    if (StripCount == 0)
        throw std::runtime_error("Could not read strip 0 of " + FileName + ": the image is not stored in strips");
    if (!LinesReadable())
        throw std::runtime_error("Could not read strip 0 of " + FileName + ": no lines of " + std::to_string(Width) +
                                 " 8-bit pixels to read");
}

std::uint32_t TMasterLayout::ClampRow(std::int64_t row) const
{
    if (Height == 0)
        return 0;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(row, 0, std::int64_t(Height) - 1));
}

std::uint32_t TMasterLayout::ClampColumn(std::int64_t column) const
{
    if (Width == 0)
        return 0;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(column, 0, std::int64_t(Width) - 1));
}

}  // namespace tavrin
