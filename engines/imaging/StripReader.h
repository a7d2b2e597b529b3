#pragma once

#include "engines/imaging/MasterLayout.h"
#include "engines/imaging/StripSource.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct tiff;

namespace tavrin {

// Zero bytes after the last line of every strip buffer, so that a reader may
// run a few bytes past a line's end (at a weight of 0).
constexpr std::size_t StripSlack = 64;

// One decoded strip. A strip that could not be read is marked Failed and
// shows the lines of the last strip read before it, as a reading window that
// keeps its buffer unchanged would; with no strip before it, zero lines.
struct TMasterStrip {
    std::uint32_t Number = 0;
    bool Failed = false;
    std::string Error;                             // why a failed strip could not be read
    std::shared_ptr<const std::uint8_t[]> Pixels;  // RowsPerStrip lines of LineBytes, then StripSlack zeros
};

// Decodes the strips first..last of an open master in order. With readAhead
// above 0, threads of their own decode up to that many strips ahead of the
// caller, so that decoding and the caller's work share the cores: the first
// on the master's handle, each further one on a handle of its own opened on
// the same file (a handle cannot decode two strips at once). Nobody else may
// use the master while the reader lives.
class TStripReader : public TStripSource {
public:
    TStripReader(tiff* master, const TMasterLayout& layout, std::uint32_t first, std::uint32_t last, unsigned readAhead,
                 unsigned decoders = 1);
    // Stops the decoding threads and closes the handles it opened.
    ~TStripReader() override;
    TStripReader(const TStripReader&) = delete;
    TStripReader& operator=(const TStripReader&) = delete;

    // The next strip in order; null past the last one. Raises std::bad_alloc
    // when no strip buffer can be had.
    std::shared_ptr<const TMasterStrip> Next() override;

private:
    // A strip as decoded: null pixels and the reason when the read failed.
    struct TDecoded {
        std::uint32_t Number = 0;
        std::shared_ptr<std::uint8_t[]> Pixels;
        std::string Error;
    };

    class TBuffers;

    TDecoded Decode(tiff* handle, std::uint32_t number) const;
    std::shared_ptr<const TMasterStrip> Deliver(TDecoded decoded);
    void DecoderLoop(tiff* handle);

    tiff* const Master;
    const TMasterLayout& Layout;
    const std::uint32_t Last;
    const unsigned Depth;
    std::uint32_t Expected;                          // the strip Next gives next
    std::shared_ptr<const std::uint8_t[]> LastRead;  // the pixels of the last strip read
    std::shared_ptr<TBuffers> Buffers;

    std::mutex Mutex;
    std::condition_variable Changed;
    std::uint32_t NextToDecode;
    std::deque<TDecoded> Ready;  // decoded strips from Expected on, in any order
    unsigned Running = 0;
    bool Stopping = false;
    std::exception_ptr Error;
    std::vector<tiff*> Opened;
    std::vector<std::thread> Decoders;
};

}  // namespace tavrin
