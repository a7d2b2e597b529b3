#pragma once

#include <string>

struct tiff;

namespace tavrin {

// Checks, before any pixel is read, that an open file can be a master: one
// 8-bit palette sample per pixel with a colour map, LZW or no compression,
// strips that lie inside the file, and no more pixels than those strips can
// decode to. Raises std::runtime_error naming fileName and what is wrong, so
// that a damaged or foreign file is refused at once instead of being decoded
// for minutes into memory it claims but does not hold.
void CheckMasterTags(tiff* master, const std::string& fileName);

}  // namespace tavrin
