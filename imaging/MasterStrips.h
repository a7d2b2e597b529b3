#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct tiff;

namespace tavrin {

// What the copies need to know of an open master: its size, its strips and
// the colour of each palette index.
struct TMasterLayout {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;  // rows the strips can deliver
    std::uint32_t RowsPerStrip = 0;
    std::uint32_t StripCount = 0;
    std::size_t LineBytes = 0;
    std::size_t StripBytes = 0;  // a full strip
    bool HasColorMap = false;
    // The low bytes of the colour map entries; a colour map has 0..255 values in 16-bit entries.
    std::array<std::uint8_t, 256> Red{};
    std::array<std::uint8_t, 256> Green{};
    std::array<std::uint8_t, 256> Blue{};

    // Reads the layout of an open master; a master without a colour map
    // leaves HasColorMap false.
    static TMasterLayout Read(tiff* master);

    // True when there are rows and each line holds at least Width bytes, so
    // that a copy never reads past a line.
    bool LinesReadable() const { return Width > 0 && Height > 0 && RowsPerStrip > 0 && LineBytes >= Width; }
    // The row or column nearest to the given one inside the image.
    std::uint32_t ClampRow(std::int64_t row) const;
    std::uint32_t ClampColumn(std::int64_t column) const;
    std::uint32_t StripOfRow(std::int64_t row) const { return ClampRow(row) / RowsPerStrip; }
};

// Zero bytes after the last line of every strip buffer, so that a reader may
// run a few bytes past a line's end (at a weight of 0).
constexpr std::size_t StripSlack = 64;

// One decoded strip. A strip that could not be read is marked Failed and
// shows the lines of the last strip read before it, as a reading window that
// keeps its buffer unchanged would; with no strip before it, zero lines.
struct TMasterStrip {
    std::uint32_t Number = 0;
    bool Failed = false;
    std::shared_ptr<const std::uint8_t[]> Pixels;  // RowsPerStrip lines of LineBytes, then StripSlack zeros
};

// Decodes the strips first..last of an open master in order. With readAhead
// above 0, threads of their own decode up to that many strips ahead of the
// caller, so that decoding and the caller's work share the cores: the first
// on the master's handle, each further one on a handle of its own opened on
// the same file (a handle cannot decode two strips at once). Nobody else may
// use the master while the reader lives.
class TStripReader {
public:
    TStripReader(tiff* master, const TMasterLayout& layout, std::uint32_t first, std::uint32_t last,
                 unsigned readAhead, unsigned decoders = 1);
    // Stops the decoding threads and closes the handles it opened.
    ~TStripReader();
    TStripReader(const TStripReader&) = delete;
    TStripReader& operator=(const TStripReader&) = delete;

    // The next strip in order; null past the last one. Raises std::bad_alloc
    // when no strip buffer can be had.
    std::shared_ptr<const TMasterStrip> Next();

private:
    // A strip as decoded: null pixels when the read failed.
    struct TDecoded {
        std::uint32_t Number = 0;
        std::shared_ptr<std::uint8_t[]> Pixels;
    };

    class TBuffers;

    TDecoded Decode(tiff* handle, std::uint32_t number) const;
    std::shared_ptr<const TMasterStrip> Deliver(TDecoded decoded);
    void DecoderLoop(tiff* handle);

    tiff* const Master;
    const TMasterLayout& Layout;
    const std::uint32_t Last;
    const unsigned Depth;
    std::uint32_t Expected;                           // the strip Next gives next
    std::shared_ptr<const std::uint8_t[]> LastRead;   // the pixels of the last strip read
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

// Master rows through the strips that hold them. Strips are read in order as
// rows further down are reached, and forgotten once no row above a given one
// is needed. Shows "Could not read strip" (caption "Error") for every strip
// that cannot be read.
class TRowWindow {
public:
    TRowWindow(const TMasterLayout& layout, TStripReader& reader) : Layout(layout), Reader(reader) {}

    // Reads strips until the one holding row (taken into the image) is held,
    // or the reader has no more.
    void Reach(std::int64_t row);
    // Forgets the strips that lie wholly above row.
    void Forget(std::int64_t row);
    // The strip holding row (taken into the image), or null when not held.
    const std::shared_ptr<const TMasterStrip>* StripOf(std::int64_t row) const;
    // The line of row, taken into the image; its strip must be held.
    const std::uint8_t* Line(std::int64_t row) const;
    // The last image row held; -1 when none.
    std::int64_t LastRow() const;

private:
    const TMasterLayout& Layout;
    TStripReader& Reader;
    std::deque<std::shared_ptr<const TMasterStrip>> Strips;  // consecutive numbers
    bool ReaderDone = false;
};

}  // namespace tavrin
