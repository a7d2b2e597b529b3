#include "tools/pgbwrite/BandEncoder.h"

#include "base/pagebuffer/BandDecoder.h"

#include <algorithm>

namespace tavrin {

namespace {

// Chooses codes for a band, front to back.
class TBandEncoder {
public:
    TBandEncoder(const std::uint8_t* band, std::size_t size, std::size_t line) : Band(band), Size(size), Line(line) {}

    // 1. Stop with the end code where only zeros remain. 2. Runs of three or
    // more copies or inverted copies take a short code (with the literals that
    // follow) or a counted code. 3. Otherwise a masked run where short copies
    // mix with literals, or a literal run.
    std::vector<std::uint8_t> Encode()
    {
        Out.push_back(CompressionSeven);
        std::size_t used = Size;
        while (used > 0 && Band[used - 1] == 0)
            --used;
        Pos = 0;
        while (Pos < used) {
            if (const std::size_t copies = CopyRun(Pos, false); copies >= 3)
                Copies(copies, false);
            else if (const std::size_t inverted = CopyRun(Pos, true); inverted >= 3)
                Copies(inverted, true);
            else
                Literals();
        }
        if (Pos < Size)
            Out.push_back(255);
        return std::move(Out);
    }

private:
    std::uint8_t Above(std::size_t p) const { return p >= Line ? Band[p - Line] : 0; }
    bool IsCopy(std::size_t p) const { return Band[p] == Above(p); }
    bool IsInverted(std::size_t p) const { return Band[p] == static_cast<std::uint8_t>(~Above(p)); }

    // Length of the run of (inverted) copies at p, at most 65535.
    std::size_t CopyRun(std::size_t p, bool inverted) const
    {
        std::size_t n = 0;
        while (p + n < Size && n < 65535 && (inverted ? IsInverted(p + n) : IsCopy(p + n)))
            ++n;
        return n;
    }

    bool RunStartsAt(std::size_t p) const
    {
        if (p + 3 > Size)
            return false;
        return (IsCopy(p) && IsCopy(p + 1) && IsCopy(p + 2)) ||
               (IsInverted(p) && IsInverted(p + 1) && IsInverted(p + 2));
    }

    std::uint8_t ShortCodeLiteral(std::size_t p) const
    {
        if (ShortCodeLiteralAtSecondLineIgnoresAbove && p == Line)
            return Band[p];
        return Band[p] ^ Above(p);
    }

    // Literals that may follow a short copy code: 1 to `most` bytes up to the next copy.
    std::size_t TrailingLiterals(std::size_t p, std::size_t most) const
    {
        std::size_t n = 0;
        while (n < most && p + n < Size && !IsCopy(p + n))
            ++n;
        return n;
    }

    void Copies(std::size_t n, bool inverted)
    {
        const std::size_t literals = TrailingLiterals(Pos + n, inverted ? 1 : 3);
        const std::size_t shortest = inverted ? 42 : 40;
        if (n <= shortest && literals > 0) {
            if (inverted)
                Out.push_back(static_cast<std::uint8_t>(n + 111));
            else
                Out.push_back(static_cast<std::uint8_t>(n - 3 + 38 * (literals - 1)));
            Pos += n;
            for (std::size_t i = 0; i < literals; ++i, ++Pos)
                Out.push_back(ShortCodeLiteral(Pos));
            return;
        }
        const bool wide = n > 255;
        Out.push_back(static_cast<std::uint8_t>((inverted ? 253 : 251) + (wide ? 1 : 0)));
        Out.push_back(static_cast<std::uint8_t>(n & 0xff));
        if (wide)
            Out.push_back(static_cast<std::uint8_t>(n >> 8));
        Pos += n;
    }

    // Bytes up to the next run of three: a masked run when some are copies.
    void Literals()
    {
        std::size_t n = 1, copies = 0;
        while (Pos + n < Size && n < 49 && !RunStartsAt(Pos + n))
            ++n;
        for (std::size_t i = 0; i < n; ++i)
            copies += IsCopy(Pos + i) ? 1 : 0;
        if (n >= 3 && copies > 0)
            MaskedRun(n);
        else
            LiteralRun(std::min<std::size_t>(n, 47));
    }

    void MaskedRun(std::size_t n)
    {
        Out.push_back(static_cast<std::uint8_t>(n + 151));
        for (std::size_t group = 0; group < n; group += 8) {
            const std::size_t maskAt = Out.size();
            Out.push_back(0);
            for (std::size_t bit = 0; bit < 8 && group + bit < n; ++bit, ++Pos) {
                if (IsCopy(Pos))
                    continue;
                Out[maskAt] |= static_cast<std::uint8_t>(1u << bit);
                Out.push_back(Band[Pos] ^ Above(Pos));
            }
        }
    }

    void LiteralRun(std::size_t n)
    {
        Out.push_back(static_cast<std::uint8_t>(n + 200));
        for (std::size_t i = 0; i < n; ++i, ++Pos)
            Out.push_back(Band[Pos] ^ Above(Pos));
    }

    const std::uint8_t* Band;
    std::size_t Size;
    std::size_t Line;
    std::size_t Pos = 0;
    std::vector<std::uint8_t> Out;
};

}  // namespace

std::vector<std::uint8_t> EncodeBand(const std::uint8_t* band, std::size_t bytesInBand, std::size_t bytesInLine)
{
    return TBandEncoder(band, bytesInBand, bytesInLine).Encode();
}

}  // namespace tavrin
