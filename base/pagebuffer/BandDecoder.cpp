#include "base/pagebuffer/BandDecoder.h"

#include <algorithm>
#include <cstring>

namespace tavrin {

namespace {

// Output cursor over the band: every byte has its byte above line bytes earlier.
struct TOutput {
    std::uint8_t* Position;
    std::uint8_t* End;
    std::uint8_t* SecondLine;  // output position bytesInLine of the band
    std::size_t Line;

    std::size_t Room() const { return static_cast<std::size_t>(End - Position); }

    // n copies of the bytes above; runs longer than a line repeat what they wrote.
    void Copy(std::size_t n)
    {
        while (n > 0) {
            const std::size_t chunk = std::min(n, Line);
            std::memcpy(Position, Position - Line, chunk);
            Position += chunk;
            n -= chunk;
        }
    }

    void CopyOne()
    {
        *Position = Position[-static_cast<std::ptrdiff_t>(Line)];
        ++Position;
    }

    void InvertedCopy(std::size_t n)
    {
        const std::uint8_t* above = Position - Line;
        for (std::size_t i = 0; i < n; ++i)
            Position[i] = static_cast<std::uint8_t>(~above[i]);
        Position += n;
    }

    void Literal(std::uint8_t stored)
    {
        *Position = stored ^ Position[-static_cast<std::ptrdiff_t>(Line)];
        ++Position;
    }

    // The literal of codes 0 to 153; see ShortCodeLiteralAtSecondLineIgnoresAbove.
    void ShortCodeLiteral(std::uint8_t stored)
    {
        if constexpr (ShortCodeLiteralAtSecondLineIgnoresAbove) {
            if (Position == SecondLine) {
                *Position++ = stored;
                return;
            }
        }
        Literal(stored);
    }
};

struct TInput {
    const std::uint8_t* Position;
    const std::uint8_t* End;

    std::size_t Left() const { return static_cast<std::size_t>(End - Position); }
};

// Codes 0 to 153: copies (inverted for 114 and up), then 1 to 3 literals.
TBandDecodeResult ShortRun(unsigned code, TOutput& out, TInput& in)
{
    std::size_t copies, literals = 1;
    bool inverted = false;
    if (code < 38) {
        copies = code + 3;
    } else if (code < 76) {
        copies = code - 35, literals = 2;
    } else if (code < 114) {
        copies = code - 73, literals = 3;
    } else {
        copies = code - 111, inverted = true;
    }
    if (copies + literals > out.Room())
        return TBandDecodeResult::OutputOverrun;
    if (literals > in.Left())
        return TBandDecodeResult::StoredOverrun;
    if (inverted)
        out.InvertedCopy(copies);
    else
        out.Copy(copies);
    for (std::size_t i = 0; i < literals; ++i)
        out.ShortCodeLiteral(*in.Position++);
    return TBandDecodeResult::Done;
}

// Codes 154 to 200: n bytes, a mask byte before every eighth; set bits are literals.
TBandDecodeResult MaskedRun(std::size_t n, TOutput& out, TInput& in)
{
    if (n > out.Room())
        return TBandDecodeResult::OutputOverrun;
    for (std::size_t done = 0; done < n;) {
        if (in.Left() < 1)
            return TBandDecodeResult::StoredOverrun;
        unsigned mask = *in.Position++;
        const std::size_t group = std::min<std::size_t>(8, n - done);
        for (std::size_t bit = 0; bit < group; ++bit, mask >>= 1) {
            if (mask & 1) {
                if (in.Left() < 1)
                    return TBandDecodeResult::StoredOverrun;
                out.Literal(*in.Position++);
            } else {
                out.CopyOne();
            }
        }
        done += group;
    }
    return TBandDecodeResult::Done;
}

// Codes 201 to 247: n literals.
TBandDecodeResult LiteralRun(std::size_t n, TOutput& out, TInput& in)
{
    if (n > out.Room())
        return TBandDecodeResult::OutputOverrun;
    if (n > in.Left())
        return TBandDecodeResult::StoredOverrun;
    for (std::size_t i = 0; i < n; ++i)
        out.Literal(in.Position[i]);
    in.Position += n;
    return TBandDecodeResult::Done;
}

// Codes 251 to 254: a one- or two-byte count, then that many (inverted) copies.
TBandDecodeResult LongRun(unsigned code, TOutput& out, TInput& in)
{
    const std::size_t countBytes = (code == 251 || code == 253) ? 1 : 2;
    if (countBytes > in.Left())
        return TBandDecodeResult::StoredOverrun;
    std::size_t n = in.Position[0];
    if (countBytes == 2)
        n |= std::size_t(in.Position[1]) << 8;
    in.Position += countBytes;
    if (n > out.Room())
        return TBandDecodeResult::OutputOverrun;
    if (code <= 252)
        out.Copy(n);
    else
        out.InvertedCopy(n);
    return TBandDecodeResult::Done;
}

}  // namespace

TBandDecodeResult DecodeBandCodes(const std::uint8_t* stored, std::size_t storedSize, std::uint8_t* area,
                                  std::size_t bytesInBand, std::size_t bytesInLine)
{
    // Pointers past the area are not formed: a band of less than two lines has no second line.
    std::uint8_t* secondLine = bytesInBand >= bytesInLine ? area + 2 * bytesInLine : nullptr;
    TOutput out{area + bytesInLine, area + bytesInLine + bytesInBand, secondLine, bytesInLine};
    TInput in{stored, stored + storedSize};
    while (in.Position < in.End) {
        const unsigned code = *in.Position++;
        TBandDecodeResult result;
        if (code <= 153)
            result = ShortRun(code, out, in);
        else if (code <= 200)
            result = MaskedRun(code - 151, out, in);
        else if (code <= 247)
            result = LiteralRun(code - 200, out, in);
        else if (code <= 250)
            result = TBandDecodeResult::InvalidCode;
        else if (code <= 254)
            result = LongRun(code, out, in);
        else
            break;  // 255: end of the band
        if (result != TBandDecodeResult::Done)
            return result;
    }
    return TBandDecodeResult::Done;
}

const char* BandDecodeResultText(TBandDecodeResult result)
{
    switch (result) {
    case TBandDecodeResult::Done: return "decoded";
    case TBandDecodeResult::InvalidCode: return "invalid code";
    case TBandDecodeResult::OutputOverrun: return "a code writes past the end of the band";
    case TBandDecodeResult::StoredOverrun: return "a code reads past the stored bytes";
    }
    return "unknown result";
}

}  // namespace tavrin
