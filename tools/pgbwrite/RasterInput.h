#pragma once

#include "tools/pgbwrite/PageBufferWriter.h"

#include <string>

namespace tavrin {

// Reads a binary PBM (P4). Raises std::runtime_error naming the file when it
// cannot be read or is not one.
TBitmap ReadPBM(const std::string& path);

// Reads a 1-bit TIFF such as a Ghostscript tiffsep1 separation; set bits in
// the result are ink (black). Raises std::runtime_error when it cannot.
TBitmap ReadBilevelTIFF(const std::string& path);

// A PBM or TIFF by its first bytes.
TBitmap ReadBitmap(const std::string& path);

}  // namespace tavrin
