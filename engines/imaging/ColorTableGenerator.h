#pragma once

#include "engines/imaging/SpotColor.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin {

// One colour of the table, in this byte order.
struct TColorTableEntry {
    std::uint8_t R = 0;
    std::uint8_t G = 0;
    std::uint8_t B = 0;

    bool operator==(const TColorTableEntry&) const = default;
};

// The value a plate's bit has in a plate combination index where the plate
// is inked (see the index bits below).
constexpr unsigned InkedIndexBit = 0;

// Entry i is the colour of plate combination index i: 768 bytes in one block.
using TColorTable = std::array<TColorTableEntry, 256>;
static_assert(sizeof(TColorTable) == 768, "the colour table is one packed block of R, G, B bytes");

// A colour profile that cannot be used: its message names the profile's file
// (a built-in profile has none) and what is wrong with it.
class EColorProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Turns the 256 plate combination indexes into RGB through an ICC transform
// from a CMYK source profile to an RGB destination profile.
//
// Index bits, 0 meaning inked: 0 black, 1 yellow, 2 magenta, 3 cyan, 4 + k
// spot colour k. 255 is bare paper, 0 every ink.
//
// An instance belongs to the thread that uses it; instances on different
// threads never disturb each other.
class TColorTableGenerator {
public:
    static constexpr std::size_t MaxSpotColors = 4;

    // Stores the profile paths, source first. An empty source selects the
    // built-in CMYK profile, an empty destination sRGB. No file is opened here.
    TColorTableGenerator(std::string inputProfile, std::string outputProfile);

    // Appends a copy of spot (it belongs to index bit 4 + its position) and
    // returns true; returns false and changes nothing when four are held.
    bool AddSpotColor(const TSpotColor& spot);

    // Empties the spot list and zeroes the table; the profile paths stay.
    void Clear();

    // Fills ColorTable from the current spots and profiles. Raises
    // EColorProfileError when a profile cannot be opened, has the wrong colour
    // space (naming the profile's file) or no transform can be made; the
    // table is then left as it was. Profiles are opened and closed within
    // each call.
    void BuildTable();

    const TColorTable& ColorTable() const { return Table; }
    const std::string& InputProfile() const { return InputPath; }
    const std::string& OutputProfile() const { return OutputPath; }
    const std::vector<TSpotColor>& SpotColors() const { return Spots; }

private:
    std::string InputPath;
    std::string OutputPath;
    std::vector<TSpotColor> Spots;
    TColorTable Table{};
};

}  // namespace tavrin
