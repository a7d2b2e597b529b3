#include "engines/imaging/StripReader.h"

#include "base/platform/MessageBox.h"
#include "base/platform/PageMemory.h"
#include "engines/imaging/TiffErrorHandler.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>

namespace tavrin {

// Strip buffers of one size, handed out again once their last user lets go:
// a pass over the master takes a few buffers from the system, whatever its
// number of strips, and returns them at its end.
class TStripReader::TBuffers : public std::enable_shared_from_this<TBuffers> {
public:
    explicit TBuffers(std::size_t size) : Size(size) {}
    ~TBuffers()
    {
        for (std::uint8_t* buffer : Free)
            FreePages(buffer, Size);
    }

    // A buffer of Size bytes; null when the system has none.
    std::shared_ptr<std::uint8_t[]> Get()
    {
        std::uint8_t* buffer = nullptr;
        {
            std::lock_guard lock(Mutex);
            if (!Free.empty()) {
                buffer = Free.back();
                Free.pop_back();
            }
        }
        if (!buffer)
            buffer = static_cast<std::uint8_t*>(AllocatePages(Size));
        if (!buffer)
            return nullptr;
        return std::shared_ptr<std::uint8_t[]>(buffer, [owner = shared_from_this()](std::uint8_t* returned) {
            std::lock_guard lock(owner->Mutex);
            owner->Free.push_back(returned);
        });
    }

private:
    const std::size_t Size;
    std::mutex Mutex;
    std::vector<std::uint8_t*> Free;
};

TStripReader::TStripReader(tiff* master, const TMasterLayout& layout, std::uint32_t first, std::uint32_t last,
                           unsigned readAhead, unsigned decoders)
    : Master(master), Layout(layout), Last(last), Depth(readAhead), Expected(first),
      Buffers(std::make_shared<TBuffers>(layout.StripBytes + StripSlack)), NextToDecode(first)
{
    if (Depth == 0)
        return;
    std::vector<tiff*> handles = {Master};
    for (unsigned i = 1; i < decoders && first + i <= last; ++i)
        if (tiff* handle = TIFFOpen(TIFFFileName(Master), "rm")) {
            Opened.push_back(handle);
            handles.push_back(handle);
        }
    Running = static_cast<unsigned>(handles.size());
    for (tiff* handle : handles)
        Decoders.emplace_back([this, handle] { DecoderLoop(handle); });
}

TStripReader::~TStripReader()
{
    {
        std::lock_guard lock(Mutex);
        Stopping = true;
    }
    Changed.notify_all();
    for (std::thread& decoder : Decoders)
        decoder.join();
    for (tiff* handle : Opened)
        TIFFClose(handle);
}

// Reads one strip into a buffer of its own; null pixels and libtiff's
// reason when it failed.
TStripReader::TDecoded TStripReader::Decode(tiff* handle, std::uint32_t number) const
{
    TDecoded decoded{number, nullptr, {}};
    std::shared_ptr<std::uint8_t[]> pixels = Buffers->Get();
    if (!pixels) {
        decoded.Error = "no memory for a strip of " + std::to_string(Layout.StripBytes) + " bytes";
        return decoded;
    }
    const tmsize_t size = static_cast<tmsize_t>(Layout.StripBytes);
    tmsize_t read = -1;
    {
        // The reason travels with the strip to the reader's caller, who
        // raises it; no box on a decoding thread.
        TMessageBoxCapture quiet([](const std::string&, const std::string&, TMessageBoxIcon) {});
        ClearLastTiffError();
        read = TIFFReadEncodedStrip(handle, number, pixels.get(), size);
        if (read < 0) {
            decoded.Error = LastTiffError().empty() ? "libtiff could not decode it" : LastTiffError();
            // The caller names the file already.
            const std::string file = std::string(TIFFFileName(handle)) + ": ";
            if (decoded.Error.rfind(file, 0) == 0)
                decoded.Error.erase(0, file.size());
        }
    }
    if (read < 0)
        return decoded;
    // A short strip leaves no stale bytes behind.
    std::memset(pixels.get() + read, 0, static_cast<std::size_t>(size - read) + StripSlack);
    decoded.Pixels = std::move(pixels);
    return decoded;
}

// Hands out the strips in order: a failed read keeps the lines of the strip
// read before it.
std::shared_ptr<const TMasterStrip> TStripReader::Deliver(TDecoded decoded)
{
    auto strip = std::make_shared<TMasterStrip>();
    strip->Number = decoded.Number;
    if (decoded.Pixels) {
        LastRead = std::move(decoded.Pixels);
    } else {
        strip->Failed = true;
        strip->Error = std::move(decoded.Error);
        if (!LastRead) {
            // Nothing was read before: lines of zeros keep every reader inside a buffer.
            std::shared_ptr<std::uint8_t[]> zeros(new std::uint8_t[Layout.StripBytes + StripSlack]());
            LastRead = std::move(zeros);
        }
    }
    strip->Pixels = LastRead;
    return strip;
}

void TStripReader::DecoderLoop(tiff* handle)
{
    try {
        for (;;) {
            std::uint32_t number;
            {
                std::unique_lock lock(Mutex);
                Changed.wait(lock,
                             [this] { return Stopping || NextToDecode > Last || NextToDecode < Expected + Depth; });
                if (Stopping || NextToDecode > Last)
                    break;
                number = NextToDecode++;
            }
            TDecoded decoded = Decode(handle, number);
            {
                std::lock_guard lock(Mutex);
                Ready.push_back(std::move(decoded));
            }
            Changed.notify_all();
        }
    } catch (...) {
        // The strip this decoder took never comes: everybody stops.
        std::lock_guard lock(Mutex);
        if (!Error)
            Error = std::current_exception();
        Stopping = true;
    }
    {
        std::lock_guard lock(Mutex);
        --Running;
    }
    Changed.notify_all();
}

std::shared_ptr<const TMasterStrip> TStripReader::Next()
{
    if (Expected > Last)
        return nullptr;
    if (Depth == 0)
        return Deliver(Decode(Master, Expected++));
    std::unique_lock lock(Mutex);
    const auto ready = [this] {
        return std::find_if(Ready.begin(), Ready.end(), [this](const TDecoded& d) { return d.Number == Expected; });
    };
    Changed.wait(lock, [&] { return ready() != Ready.end() || Running == 0; });
    const auto found = ready();
    if (found == Ready.end()) {
        if (Error)
            std::rethrow_exception(Error);
        return nullptr;
    }
    TDecoded decoded = std::move(*found);
    Ready.erase(found);
    ++Expected;
    lock.unlock();
    Changed.notify_all();
    return Deliver(std::move(decoded));
}

}  // namespace tavrin
