#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrin {

// For every palette entry of a full-resolution tile, in entry order, the
// master's plate combination index it stands for. The viewer shows
// separations from it; the palette itself only holds the colours the tile uses.
using TPaletteIndices = std::vector<std::uint8_t>;

// The private PNG chunk that carries the record: one byte per palette entry.
// Lower case first letter: ancillary, so decoders skip it; upper case last
// letter: unsafe to copy, since it describes this very palette.
constexpr char IndexChunkType[] = "tvIX";

// The PNG with an index chunk holding `indices` inserted before its first
// IDAT chunk (after PLTE). Raises std::runtime_error when the bytes are not
// a palette PNG whose palette has exactly indices.size() entries.
std::vector<std::uint8_t> WithIndexChunk(const std::uint8_t* png, std::size_t size, const TPaletteIndices& indices);

}  // namespace tavrin
