#include "imaging/MasterStrips.h"

#include "platform/MessageBox.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace tavrin {

TMasterLayout TMasterLayout::Read(tiff* master)
{
    TMasterLayout layout;
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

TStripReader::TStripReader(tiff* master, const TMasterLayout& layout, std::uint32_t first, std::uint32_t last,
                           unsigned readAhead)
    : Master(master), Layout(layout), NextNumber(first), Last(last), Depth(readAhead)
{
    if (Depth > 0)
        Thread = std::thread([this] { ReadAheadLoop(); });
}

TStripReader::~TStripReader()
{
    if (!Thread.joinable())
        return;
    {
        std::lock_guard lock(Mutex);
        Stopping = true;
    }
    Changed.notify_all();
    Thread.join();
}

// Reads one strip into a buffer of its own; a failed read keeps the lines
// of the strip read before it.
std::shared_ptr<const TMasterStrip> TStripReader::Decode(std::uint32_t number)
{
    auto strip = std::make_shared<TMasterStrip>();
    strip->Number = number;
    std::shared_ptr<std::uint8_t[]> pixels(new (std::nothrow) std::uint8_t[Layout.StripBytes]);
    const tmsize_t size = static_cast<tmsize_t>(Layout.StripBytes);
    const tmsize_t read = pixels ? TIFFReadEncodedStrip(Master, number, pixels.get(), size) : -1;
    if (read < 0) {
        strip->Failed = true;
        if (!LastRead) {
            // Nothing was read before: lines of zeros keep every reader inside a buffer.
            std::shared_ptr<std::uint8_t[]> zeros(new std::uint8_t[Layout.StripBytes]());
            LastRead = std::move(zeros);
        }
        strip->Pixels = LastRead;
        return strip;
    }
    // A short strip leaves no stale bytes behind.
    std::memset(pixels.get() + read, 0, static_cast<std::size_t>(size - read));
    LastRead = std::move(pixels);
    strip->Pixels = LastRead;
    return strip;
}

void TStripReader::ReadAheadLoop()
{
    try {
        for (;;) {
            std::uint32_t number;
            {
                std::unique_lock lock(Mutex);
                Changed.wait(lock, [this] { return Stopping || Ready.size() < Depth; });
                if (Stopping || NextNumber > Last)
                    break;
                number = NextNumber++;
            }
            auto strip = Decode(number);
            {
                std::lock_guard lock(Mutex);
                Ready.push_back(std::move(strip));
            }
            Changed.notify_all();
        }
    } catch (...) {
        std::lock_guard lock(Mutex);
        Error = std::current_exception();
    }
    {
        std::lock_guard lock(Mutex);
        Finished = true;
    }
    Changed.notify_all();
}

std::shared_ptr<const TMasterStrip> TStripReader::Next()
{
    if (Depth == 0)
        return NextNumber <= Last ? Decode(NextNumber++) : nullptr;
    std::unique_lock lock(Mutex);
    Changed.wait(lock, [this] { return !Ready.empty() || Finished; });
    if (Ready.empty()) {
        if (Error)
            std::rethrow_exception(Error);
        return nullptr;
    }
    auto strip = std::move(Ready.front());
    Ready.pop_front();
    lock.unlock();
    Changed.notify_all();
    return strip;
}

void TRowWindow::Reach(std::int64_t row)
{
    const std::uint32_t wanted = Layout.StripOfRow(row);
    while (!ReaderDone && (Strips.empty() || Strips.back()->Number < wanted)) {
        auto strip = Reader.Next();
        if (!strip) {
            ReaderDone = true;
            break;
        }
        if (strip->Failed)
            ShowMessageBox("Error", "Could not read strip", TMessageBoxIcon::Error);
        Strips.push_back(std::move(strip));
    }
}

void TRowWindow::Forget(std::int64_t row)
{
    const std::uint32_t first = Layout.StripOfRow(row);
    while (!Strips.empty() && Strips.front()->Number < first)
        Strips.pop_front();
}

const std::shared_ptr<const TMasterStrip>* TRowWindow::StripOf(std::int64_t row) const
{
    if (Strips.empty())
        return nullptr;
    const std::uint32_t number = Layout.StripOfRow(row);
    if (number < Strips.front()->Number || number > Strips.back()->Number)
        return nullptr;
    return &Strips[number - Strips.front()->Number];
}

const std::uint8_t* TRowWindow::Line(std::int64_t row) const
{
    const std::uint32_t clamped = Layout.ClampRow(row);
    const auto& strip = Strips[clamped / Layout.RowsPerStrip - Strips.front()->Number];
    return strip->Pixels.get() + std::size_t(clamped % Layout.RowsPerStrip) * Layout.LineBytes;
}

std::int64_t TRowWindow::LastRow() const
{
    if (Strips.empty())
        return -1;
    return std::min<std::int64_t>(std::int64_t(Strips.back()->Number + 1) * Layout.RowsPerStrip, Layout.Height) - 1;
}

}  // namespace tavrin
