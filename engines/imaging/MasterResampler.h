#pragma once

#include <gd.h>

struct tiff;

namespace tavrin {

// Copies the rectangle SrcX, SrcY, SrcW x SrcH of an open master into the
// rectangle DstX, DstY, DstW x DstH of dest by area averaging, reading the
// master strip by strip (never the whole image). A palette dest is handed
// to CopyResizedFromMaster. Each destination pixel is the average of the
// source colours it covers, weighted by the covered area in double
// precision, with the colour of palette index v taken from the low bytes of
// the master's colour map entries. Raises std::runtime_error, with dest
// holding what was drawn, for a master without a colour map or a strip that
// cannot be read (see TRowWindow). A destination row covering more rows than
// two strips hold reads as many strips as it needs. A negative source size, or one whose
// fourfold exceeds a signed 32-bit integer, copies nothing.
void CopyResampledFromMaster(gdImagePtr dest, tiff* master, int DstX, int DstY, int SrcX, int SrcY, int DstW, int DstH,
                             int SrcW, int SrcH);

// The same copy by pixel replication, for a palette dest: source pixel
// (x, y) fills stx[x] x sty[y] destination pixels with the integer stretch
// counts stx[i] = ((i + 1) x DstW) div SrcW - (i x DstW) div SrcW (sty
// likewise), every destination pixel set to gdImageColorResolve of its
// colour. A negative source size, or one whose fourfold exceeds a signed
// 32-bit integer, copies nothing. Raises as above.
void CopyResizedFromMaster(gdImagePtr dest, tiff* master, int DstX, int DstY, int SrcX, int SrcY, int DstW, int DstH,
                           int SrcW, int SrcH);

}  // namespace tavrin
