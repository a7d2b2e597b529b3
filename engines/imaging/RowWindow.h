#pragma once

#include "engines/imaging/StripReader.h"

#include <cstdint>
#include <deque>
#include <memory>

namespace tavrin {

// Master rows through the strips that hold them. Strips are read in order as
// rows further down are reached, and forgotten once no row above a given one
// is needed. A strip that cannot be read raises std::runtime_error "Could
// not read strip N of FILE: libtiff's reason", so that nothing is drawn from
// a damaged master.
class TRowWindow {
public:
    TRowWindow(const TMasterLayout& layout, TStripSource& reader) : Layout(layout), Reader(reader) {}

    // Reads strips until the one holding row (taken into the image) is held,
    // or the reader has no more.
    void Reach(std::int64_t row);
    // Forgets the strips that lie wholly above row.
    void Forget(std::int64_t row);
    // Reaches row and forgets the strips above it; false when the reader
    // has no strip for it.
    bool Read(std::int64_t row);
    // The strip holding row (taken into the image), or null when not held.
    const std::shared_ptr<const TMasterStrip>* StripOf(std::int64_t row) const;
    // The line of row, taken into the image; its strip must be held.
    const std::uint8_t* Line(std::int64_t row) const;
    // The last image row held; -1 when none.
    std::int64_t LastRow() const;

private:
    const TMasterLayout& Layout;
    TStripSource& Reader;
    std::deque<std::shared_ptr<const TMasterStrip>> Strips;  // consecutive numbers
    bool ReaderDone = false;
};

}  // namespace tavrin
