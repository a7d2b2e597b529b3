#pragma once

#include "engines/imaging/MasterLayout.h"
#include "engines/imaging/StripSource.h"

#include <gd.h>

#include <cstdint>
#include <memory>
#include <string>

namespace tavrin {

// A side of the overview: side x factor rounded to nearest, ties to even, at
// least 1; 0 when no picture can have it.
int OverviewSide(std::uint32_t side, double factor);

// The overview of a master drawn in one pass over its strips, read from a
// strip source top to bottom: a true-colour picture of width x factor by
// height x factor pixels (width and height the master's tags) reduced from
// the whole page by area averaging, then written as a PNG under its
// unfinished name and named once whole.
class TOverviewPass {
public:
    // Raises std::runtime_error when the picture cannot be made.
    TOverviewPass(const TMasterLayout& layout, std::uint32_t width, std::uint32_t height, std::string fileName,
                  double factor);
    // Draws, then writes. Raises std::runtime_error when the master cannot
    // be read or the file cannot be written or named; nothing of the pass is
    // left on disk then.
    void Run(TStripSource& strips);
    // The two halves of Run.
    void Draw(TStripSource& strips);
    void Write();

private:
    const TMasterLayout Layout;
    const std::uint32_t Width;
    const std::uint32_t Height;
    const std::string FileName;
    std::unique_ptr<gdImage, void (*)(gdImagePtr)> Picture;
};

}  // namespace tavrin
