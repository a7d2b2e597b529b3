#include "engines/imaging/MasterResampler.h"

#include "engines/imaging/AveragingPlan.h"
#include "engines/imaging/Replication.h"
#include "engines/imaging/RowWindow.h"

namespace tavrin {

namespace {

// Strips decoded ahead of the copy, on two threads of their own.
constexpr unsigned ReadAheadStrips = 3;
constexpr unsigned Decoders = 2;

}  // namespace

void CopyResampledFromMaster(gdImagePtr dest, tiff* master, int DstX, int DstY, int SrcX, int SrcY, int DstW, int DstH,
                             int SrcW, int SrcH)
{
    if (!dest || !master)
        return;
    if (!dest->trueColor) {
        CopyResizedFromMaster(dest, master, DstX, DstY, SrcX, SrcY, DstW, DstH, SrcW, SrcH);
        return;
    }
    const TCopyRectangle rect{DstX, DstY, SrcX, SrcY, DstW, DstH, SrcW, SrcH};
    const TMasterLayout layout = TMasterLayout::Read(master);
    layout.CheckCopyCanStart();
    if (!SourceSizeAccepted(rect))
        return;
    const TAveragingPlan plan(dest, rect, layout.Width);
    if (plan.Empty())
        return;
    const std::int64_t firstRow = plan.FirstSourceRow(plan.FirstRow());
    const std::int64_t lastRow = plan.LastSourceRow(plan.EndRow() - 1);
    TStripReader reader(master, layout, layout.StripOfRow(firstRow), layout.StripOfRow(lastRow), ReadAheadStrips,
                        Decoders);
    TRowWindow window(layout, reader);
    if (!window.Read(firstRow))
        return;
    const TMasterColors colors(layout);
    for (std::int32_t r = plan.FirstRow(); r < plan.EndRow(); ++r) {
        window.Reach(plan.LastSourceRow(r));
        window.Forget(plan.FirstSourceRow(r));
        plan.Draw(dest, r, r + 1, plan.FirstColumn(), plan.EndColumn(), window, colors);
    }
}

void CopyResizedFromMaster(gdImagePtr dest, tiff* master, int DstX, int DstY, int SrcX, int SrcY, int DstW, int DstH,
                           int SrcW, int SrcH)
{
    const TCopyRectangle rect{DstX, DstY, SrcX, SrcY, DstW, DstH, SrcW, SrcH};
    if (!dest || !master || !SourceSizeAccepted(rect))
        return;
    const TMasterLayout layout = TMasterLayout::Read(master);
    layout.CheckCopyCanStart();
    if (SrcH == 0)
        return;
    const std::int64_t firstRow = SrcY, lastRow = std::int64_t(SrcY) + SrcH - 1;
    TStripReader reader(master, layout, layout.StripOfRow(firstRow), layout.StripOfRow(lastRow), ReadAheadStrips,
                        Decoders);
    TRowWindow window(layout, reader);
    if (!window.Read(firstRow))
        return;
    ReplicateFromLines(dest, rect, layout,
                       [&window](std::int64_t y) { return window.Read(y) ? window.Line(y) : nullptr; });
}

}  // namespace tavrin
