#include "imaging/MasterResampler.h"

#include "imaging/AveragingPlan.h"
#include "imaging/Replication.h"
#include "imaging/RowWindow.h"
#include "platform/MessageBox.h"

namespace tavrin {

namespace {

// Strips decoded ahead of the copy, on two threads of their own.
constexpr unsigned ReadAheadStrips = 3;
constexpr unsigned Decoders = 2;

// The common start: a colour map and lines a copy can read.
bool MasterCopyable(const TMasterLayout& layout)
{
    if (!layout.HasColorMap) {
        ShowMessageBox("Error", "Could not get Color Map", TMessageBoxIcon::Error);
        return false;
    }
    if (!layout.LinesReadable()) {
        ShowMessageBox("Error", "Could not read strip", TMessageBoxIcon::Error);
        return false;
    }
    return true;
}

// Reads the strip of the first row; false when it could not be read.
bool FirstStripRead(TRowWindow& window, std::int64_t row)
{
    window.Reach(row);
    const auto* strip = window.StripOf(row);
    return strip && !(*strip)->Failed;
}

}  // namespace

void CopyResampledFromMaster(gdImagePtr dest, tiff* master, int DstX, int DstY, int SrcX, int SrcY, int DstW,
                             int DstH, int SrcW, int SrcH)
{
    if (!dest || !master)
        return;
    if (!dest->trueColor) {
        CopyResizedFromMaster(dest, master, DstX, DstY, SrcX, SrcY, DstW, DstH, SrcW, SrcH);
        return;
    }
    const TCopyRectangle rect{DstX, DstY, SrcX, SrcY, DstW, DstH, SrcW, SrcH};
    const TMasterLayout layout = TMasterLayout::Read(master);
    if (!MasterCopyable(layout) || !SourceSizeAccepted(rect))
        return;
    const TAveragingPlan plan(dest, rect, layout.Width);
    if (plan.Empty())
        return;
    const std::int64_t firstRow = plan.FirstSourceRow(plan.FirstRow());
    const std::int64_t lastRow = plan.LastSourceRow(plan.EndRow() - 1);
    TStripReader reader(master, layout, layout.StripOfRow(firstRow), layout.StripOfRow(lastRow), ReadAheadStrips,
                        Decoders);
    TRowWindow window(layout, reader);
    if (!FirstStripRead(window, firstRow))
        return;
    const TMasterColors colors(layout);
    for (std::int32_t r = plan.FirstRow(); r < plan.EndRow(); ++r) {
        window.Reach(plan.LastSourceRow(r));
        window.Forget(plan.FirstSourceRow(r));
        plan.Draw(dest, r, r + 1, plan.FirstColumn(), plan.EndColumn(), window, colors);
    }
}

void CopyResizedFromMaster(gdImagePtr dest, tiff* master, int DstX, int DstY, int SrcX, int SrcY, int DstW,
                           int DstH, int SrcW, int SrcH)
{
    const TCopyRectangle rect{DstX, DstY, SrcX, SrcY, DstW, DstH, SrcW, SrcH};
    if (!dest || !master || !SourceSizeAccepted(rect))
        return;
    const TMasterLayout layout = TMasterLayout::Read(master);
    if (!MasterCopyable(layout) || SrcH == 0)
        return;
    const std::int64_t firstRow = SrcY, lastRow = std::int64_t(SrcY) + SrcH - 1;
    TStripReader reader(master, layout, layout.StripOfRow(firstRow), layout.StripOfRow(lastRow), ReadAheadStrips,
                        Decoders);
    TRowWindow window(layout, reader);
    if (!FirstStripRead(window, firstRow))
        return;
    ReplicateFromLines(dest, rect, layout, [&window](std::int64_t y) -> const std::uint8_t* {
        window.Reach(y);
        window.Forget(y);
        const auto* strip = window.StripOf(y);
        return strip && !(*strip)->Failed ? window.Line(y) : nullptr;
    });
}

}  // namespace tavrin
