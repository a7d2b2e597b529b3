#include "engines/imaging/MasterStripWriter.h"

#include "engines/imaging/TiffErrorHandler.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>

namespace tavrin {

namespace {

// Strip buffers together stay below this, whatever the page size.
constexpr std::uint64_t StripBufferBudget = 40ull << 20;
constexpr unsigned MaxWorkers = 4;

// A growing file in memory for libtiff's client interface.
struct TMemoryFile {
    std::vector<std::uint8_t> Bytes;
    std::uint64_t Position = 0;
};

tmsize_t MemoryRead(thandle_t handle, void* data, tmsize_t size)
{
    auto& file = *static_cast<TMemoryFile*>(handle);
    const std::uint64_t available = file.Position < file.Bytes.size() ? file.Bytes.size() - file.Position : 0;
    const std::uint64_t count = std::min<std::uint64_t>(available, static_cast<std::uint64_t>(size));
    std::memcpy(data, file.Bytes.data() + file.Position, count);
    file.Position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t MemoryWrite(thandle_t handle, void* data, tmsize_t size)
{
    auto& file = *static_cast<TMemoryFile*>(handle);
    const std::uint64_t end = file.Position + static_cast<std::uint64_t>(size);
    if (end > file.Bytes.size())
        file.Bytes.resize(end);
    std::memcpy(file.Bytes.data() + file.Position, data, static_cast<std::size_t>(size));
    file.Position = end;
    return size;
}

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence)
{
    auto& file = *static_cast<TMemoryFile*>(handle);
    if (whence == SEEK_CUR)
        offset += file.Position;
    else if (whence == SEEK_END)
        offset += file.Bytes.size();
    file.Position = offset;
    return offset;
}

int MemoryClose(thandle_t)
{
    return 0;
}
toff_t MemorySize(thandle_t handle)
{
    return static_cast<TMemoryFile*>(handle)->Bytes.size();
}
int MemoryMap(thandle_t, void**, toff_t*)
{
    return 0;
}
void MemoryUnmap(thandle_t, void*, toff_t) {}

}  // namespace

TMasterStripWriter::TMasterStripWriter(tiff* file, std::uint32_t width, std::uint32_t height,
                                       std::uint32_t rowsPerStrip)
    : File(file), Width(width), Height(height), RowsPerStrip(std::max<std::uint32_t>(rowsPerStrip, 1))
{
    const std::uint32_t strips = (Height + RowsPerStrip - 1) / RowsPerStrip;
    const std::uint64_t stripBytes = std::uint64_t(RowsPerStrip) * Width;
    const unsigned cores = std::max(1u, std::min(std::thread::hardware_concurrency(), MaxWorkers));
    // One buffer fills while the others are encoded; huge strips get fewer buffers.
    const std::uint64_t affordable = stripBytes ? StripBufferBudget / stripBytes : MaxWorkers + 1;
    MaxBuffers = static_cast<std::size_t>(std::clamp<std::uint64_t>(affordable, 2, cores + 1));
    const unsigned workers =
        static_cast<unsigned>(std::clamp<std::uint64_t>(std::min<std::uint64_t>(strips, MaxBuffers - 1), 1, cores));
    for (unsigned i = 0; i < workers; ++i)
        Workers.emplace_back([this] { WorkerLoop(); });
}

TMasterStripWriter::~TMasterStripWriter()
{
    {
        std::lock_guard lock(Mutex);
        Stopping = true;
        ToEncode.clear();
    }
    WorkArrived.notify_all();
    for (std::thread& worker : Workers)
        worker.join();
}

std::uint8_t* TMasterStripWriter::NextLine()
{
    if (!Filling)
        StartStrip();
    return Filling->Pixels.get() + std::size_t(RowInStrip) * Width;
}

void TMasterStripWriter::CommitLine()
{
    if (!Filling || Committed >= Height)
        return;
    ++Committed;
    if (++RowInStrip == Filling->Rows)
        SubmitStrip();
}

void TMasterStripWriter::StartStrip()
{
    // 1. Wait until a buffer is free: the oldest strip in work must be written first.
    while (Spare.empty() && InWork.size() + 1 > MaxBuffers)
        WriteFinishedStrips(true);
    // 2. Reuse a written strip's buffer, or make one.
    if (!Spare.empty()) {
        Filling = std::move(Spare.back());
        Spare.pop_back();
    } else {
        Filling = std::make_unique<TStrip>();
        Filling->Pixels.reset(new std::uint8_t[std::size_t(RowsPerStrip) * Width]);
    }
    Filling->Index = Committed / RowsPerStrip;
    Filling->Rows = std::min(RowsPerStrip, Height - Committed);
    Filling->Done = Filling->Ok = false;
    RowInStrip = 0;
}

void TMasterStripWriter::SubmitStrip()
{
    {
        std::lock_guard lock(Mutex);
        ToEncode.push_back(Filling.get());
        InWork.push_back(std::move(Filling));
    }
    WorkArrived.notify_one();
    WriteFinishedStrips(false);
}

bool TMasterStripWriter::WriteFinishedStrips(bool waitForOne)
{
    bool wrote = false;
    while (!InWork.empty()) {
        TStrip& strip = *InWork.front();
        {
            std::unique_lock lock(Mutex);
            if (!strip.Done && !(waitForOne && !wrote))
                break;
            StripEncoded.wait(lock, [&] { return strip.Done; });
        }
        // Strips are written in their order: the file layout is fixed by it.
        if (WriteFailed) {
            // The file is lost already; a full disk would refuse every strip again.
        } else if (!strip.Ok) {
            WriteFailed = true;
            Failure = "strip " + std::to_string(strip.Index) + " could not be encoded: " + strip.Error;
        } else {
            ClearLastTiffError();
            if (TIFFWriteRawStrip(File, strip.Index, strip.Encoded.data() + strip.EncodedOffset,
                                  static_cast<tmsize_t>(strip.EncodedSize)) < 0) {
                WriteFailed = true;
                Failure = LastTiffFailure();
            }
        }
        strip.Encoded = {};
        Spare.push_back(std::move(InWork.front()));
        InWork.pop_front();
        wrote = true;
    }
    return wrote;
}

bool TMasterStripWriter::Finish()
{
    while (!InWork.empty())
        WriteFinishedStrips(true);
    if (!WriteFailed && Committed != Height)
        Failure = "only " + std::to_string(Committed) + " of " + std::to_string(Height) + " lines were written";
    return !WriteFailed && Committed == Height;
}

void TMasterStripWriter::WorkerLoop()
{
    for (;;) {
        TStrip* strip = nullptr;
        {
            std::unique_lock lock(Mutex);
            WorkArrived.wait(lock, [&] { return Stopping || !ToEncode.empty(); });
            if (Stopping)
                return;
            strip = ToEncode.front();
            ToEncode.pop_front();
        }
        EncodeStrip(*strip);
        {
            std::lock_guard lock(Mutex);
            strip->Done = true;
        }
        StripEncoded.notify_all();
    }
}

// Encodes the strip as the only strip of a TIFF in memory, with the tags
// that shape LZW output, and keeps where its stream lies in that file.
void TMasterStripWriter::EncodeStrip(TStrip& strip) const
{
    TMemoryFile memory;
    memory.Bytes.reserve(std::size_t(strip.Rows) * Width / 4 + 4096);
    // libtiff keeps its reason per thread: this worker's is taken along.
    ClearLastTiffError();
    strip.Error.clear();
    TIFF* encoder = TIFFClientOpen("strip", "w", &memory, MemoryRead, MemoryWrite, MemorySeek, MemoryClose, MemorySize,
                                   MemoryMap, MemoryUnmap);
    if (!encoder) {
        strip.Error = LastTiffFailure();
        return;
    }
    TIFFSetField(encoder, TIFFTAG_IMAGEWIDTH, Width);
    TIFFSetField(encoder, TIFFTAG_IMAGELENGTH, strip.Rows);
    TIFFSetField(encoder, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(encoder, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(encoder, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(encoder, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(encoder, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(encoder, TIFFTAG_ROWSPERSTRIP, strip.Rows);
    const tmsize_t size = static_cast<tmsize_t>(std::size_t(strip.Rows) * Width);
    std::uint64_t* offsets = nullptr;
    std::uint64_t* counts = nullptr;
    const bool ok = TIFFWriteEncodedStrip(encoder, 0, strip.Pixels.get(), size) == size &&
                    TIFFGetField(encoder, TIFFTAG_STRIPOFFSETS, &offsets) && offsets &&
                    TIFFGetField(encoder, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts;
    if (ok) {
        strip.EncodedOffset = offsets[0];
        strip.EncodedSize = counts[0];
    }
    // Closing writes a small directory into memory after the strip; it is not used.
    TIFFClose(encoder);
    strip.Ok = ok && strip.EncodedOffset + strip.EncodedSize <= memory.Bytes.size();
    if (!strip.Ok)
        strip.Error = LastTiffFailure();
    strip.Encoded = std::move(memory.Bytes);
}

}  // namespace tavrin
