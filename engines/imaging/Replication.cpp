#include "engines/imaging/Replication.h"

#include "engines/imaging/MasterLayout.h"

namespace tavrin {

namespace {

// Stretch counts: how many destination positions source position i fills.
std::vector<std::int64_t> StretchCounts(std::int32_t srcSize, std::int32_t dstSize)
{
    std::vector<std::int64_t> counts(static_cast<std::size_t>(srcSize));
    for (std::int64_t i = 0; i < srcSize; ++i)
        counts[static_cast<std::size_t>(i)] = (i + 1) * dstSize / srcSize - i * dstSize / srcSize;
    return counts;
}

void SetResolved(gdImagePtr dest, int x, int y, int color)
{
    if (dest->trueColor)
        dest->tpixels[y][x] = color;
    else
        dest->pixels[y][x] = static_cast<unsigned char>(color);
}

}  // namespace

TReplication::TReplication(gdImagePtr dest, const TCopyRectangle& rect, const TMasterLayout& layout,
                           TPaletteIndices* indices)
    : Dest(dest), Layout(layout), Indices(dest->trueColor ? nullptr : indices),
      RowRepeats(StretchCounts(rect.SrcH, rect.DstH)), NextRow(rect.DstY)
{
    const std::vector<std::int64_t> stx = StretchCounts(rect.SrcW, rect.DstW);
    for (std::int64_t x = 0, tox = rect.DstX; x < std::int64_t(stx.size()); ++x) {
        const std::uint32_t column = layout.ClampColumn(rect.SrcX + x);
        if (stx[std::size_t(x)] > 0)
            ReadColumns.push_back(column);
        for (std::int64_t i = 0; i < stx[std::size_t(x)]; ++i, ++tox)
            if (tox >= dest->cx1 && tox <= dest->cx2) {
                if (FirstSet < 0)
                    FirstSet = tox;
                SetColumns.push_back(column);
            }
    }
    Resolved.fill(-1);
    // Entries already recorded serve their index where they show its colour.
    for (std::size_t entry = 0; Indices && entry < Indices->size(); ++entry) {
        const std::uint8_t v = (*Indices)[entry];
        const int e = static_cast<int>(entry);
        if (Resolved[v] < 0 && dest->red[e] == Layout.Red[v] && dest->green[e] == Layout.Green[v] &&
            dest->blue[e] == Layout.Blue[v])
            Resolved[v] = e;
    }
    Contiguous = true;
    for (std::size_t t = 1; t < SetColumns.size(); ++t)
        Contiguous = Contiguous && SetColumns[t] == SetColumns[0] + t;
    Identity = Contiguous && !SetColumns.empty() && SetColumns == ReadColumns;
}

void TReplication::Row(std::int32_t index, const std::uint8_t* source)
{
    const std::int64_t repeats = RowRepeats[std::size_t(index)];
    if (repeats <= 0)
        return;
    // Locals: stores through the image's bytes could alias any member.
    int* const resolved = Resolved.data();
    const std::uint32_t* const set = SetColumns.data();
    const std::size_t count = SetColumns.size();
    if (Identity && !Dest->trueColor && !Unresolvable && NextRow >= Dest->cy1 && NextRow <= Dest->cy2 && repeats == 1) {
        // One source pixel per destination pixel, all inside the clip: resolve
        // and set in a single pass over the line.
        unsigned char* const out = Dest->pixels[NextRow++] + FirstSet;
        const std::uint8_t* const from = source + set[0];
        for (std::size_t t = 0; t < count; ++t) {
            int color = resolved[from[t]];
            if (color < 0) {
                color = Resolve(from[t]);
                if (color < 0) {
                    // A full palette without a usable colour: leave the rest to the general path.
                    Unresolvable = true;
                    --NextRow;
                    break;
                }
            }
            out[t] = static_cast<unsigned char>(color);
        }
        if (!Unresolvable)
            return;
    }
    // 1. Resolve the row's new colours in the order its pixels are set.
    for (const std::uint32_t column : ReadColumns) {
        const std::uint8_t v = source[column];
        if (resolved[v] < 0)
            Unresolvable = Resolve(v) < 0 || Unresolvable;
    }
    // 2. Set the stretched row as often as it repeats, inside the clip only.
    for (std::int64_t repeat = 0; repeat < repeats; ++repeat, ++NextRow) {
        if (NextRow < Dest->cy1 || NextRow > Dest->cy2 || count == 0)
            continue;
        if (!Dest->trueColor && !Unresolvable) {
            unsigned char* const out = Dest->pixels[NextRow] + FirstSet;
            if (Contiguous) {
                const std::uint8_t* const from = source + set[0];
                for (std::size_t t = 0; t < count; ++t)
                    out[t] = static_cast<unsigned char>(resolved[from[t]]);
            } else {
                for (std::size_t t = 0; t < count; ++t)
                    out[t] = static_cast<unsigned char>(resolved[source[set[t]]]);
            }
            continue;
        }
        for (std::size_t t = 0; t < count; ++t)
            if (const int color = resolved[source[set[t]]]; color >= 0)
                SetResolved(Dest, int(FirstSet + std::int64_t(t)), int(NextRow), color);
    }
}

int TReplication::Resolve(std::uint8_t v)
{
    if (!Indices)
        return Resolved[v] = gdImageColorResolve(Dest, Layout.Red[v], Layout.Green[v], Layout.Blue[v]);
    const int entry = gdImageColorAllocate(Dest, Layout.Red[v], Layout.Green[v], Layout.Blue[v]);
    if (entry < 0) {
        TakeWholeColorTable();
        return Resolved[v];
    }
    if (std::size_t(entry) >= Indices->size())
        Indices->resize(std::size_t(entry) + 1);
    (*Indices)[std::size_t(entry)] = v;
    return Resolved[v] = entry;
}

void TReplication::TakeWholeColorTable()
{
    // Every pixel so far is a recorded entry: it becomes that entry's index.
    for (int y = 0; y < Dest->sy; ++y)
        for (int x = 0; x < Dest->sx; ++x) {
            unsigned char& pixel = Dest->pixels[y][x];
            if (pixel < Indices->size())
                pixel = (*Indices)[pixel];
        }
    for (int v = 0; v < 256; ++v) {
        Dest->red[v] = Layout.Red[std::size_t(v)];
        Dest->green[v] = Layout.Green[std::size_t(v)];
        Dest->blue[v] = Layout.Blue[std::size_t(v)];
        Dest->alpha[v] = gdAlphaOpaque;
        Dest->open[v] = 0;
        Resolved[std::size_t(v)] = v;
    }
    Dest->colorsTotal = 256;
    Indices->resize(256);
    for (std::size_t v = 0; v < 256; ++v)
        (*Indices)[v] = static_cast<std::uint8_t>(v);
}

void ReplicateFromLines(gdImagePtr dest, const TCopyRectangle& rect, const TMasterLayout& layout,
                        const TLineSource& line)
{
    TReplication replication(dest, rect, layout);
    for (std::int32_t y = 0; y < rect.SrcH; ++y) {
        const std::uint8_t* source = line(std::int64_t(rect.SrcY) + y);
        if (!source)
            return;
        replication.Row(y, source);
    }
}

}  // namespace tavrin
