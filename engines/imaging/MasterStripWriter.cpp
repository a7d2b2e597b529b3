#include "engines/imaging/MasterStripWriter.h"

#include "engines/imaging/LZWEncoder.h"
#include "engines/imaging/TiffErrorHandler.h"

#include <tiffio.h>

#include <algorithm>
#include <new>

namespace tavrin {

namespace {

// Strip buffers together stay below this, whatever the page size.
constexpr std::uint64_t StripBufferBudget = 40ull << 20;
constexpr unsigned MaxWorkers = 4;

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
            if (TIFFWriteRawStrip(File, strip.Index, strip.Encoded.data(),
                                  static_cast<tmsize_t>(strip.Encoded.size())) < 0) {
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
    // Made at the first strip, kept for the others: its table is large.
    std::unique_ptr<TLZWEncoder> encoder;
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
        EncodeStrip(*strip, encoder);
        {
            std::lock_guard lock(Mutex);
            strip->Done = true;
        }
        StripEncoded.notify_all();
    }
}

void TMasterStripWriter::EncodeStrip(TStrip& strip, std::unique_ptr<TLZWEncoder>& encoder) const
{
    strip.Error.clear();
    try {
        if (!encoder)
            encoder = std::make_unique<TLZWEncoder>();
        encoder->EncodeStrip(strip.Pixels.get(), std::size_t(strip.Rows) * Width, strip.Encoded);
        strip.Ok = true;
    } catch (const std::bad_alloc&) {
        strip.Encoded = {};
        strip.Error = "not enough memory";
    }
}

}  // namespace tavrin
