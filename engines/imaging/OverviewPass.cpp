#include "engines/imaging/OverviewPass.h"

#include "base/catalogue/OutputLayout.h"

#include "engines/imaging/AveragingPlan.h"
#include "engines/imaging/RowWindow.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace tavrin {

int OverviewSide(std::uint32_t side, double factor)
{
    const double scaled = std::nearbyint(static_cast<double>(side) * factor);
    if (!(scaled < std::numeric_limits<int>::max()))
        return 0;
    return std::max(1, static_cast<int>(scaled));
}

TOverviewPass::TOverviewPass(const TMasterLayout& layout, std::uint32_t width, std::uint32_t height,
                             std::string fileName, double factor)
    : Layout(layout), Width(width), Height(height), FileName(std::move(fileName)), Picture(nullptr, gdImageDestroy)
{
    const int pictureWidth = OverviewSide(width, factor), pictureHeight = OverviewSide(height, factor);
    if (pictureWidth > 0 && pictureHeight > 0)
        Picture.reset(gdImageCreateTrueColor(pictureWidth, pictureHeight));
    if (!Picture)
        throw std::runtime_error("Could not make an overview of " + std::to_string(pictureWidth) + " x " +
                                 std::to_string(pictureHeight) + " pixels for " + FileName);
}

void TOverviewPass::Run(TStripSource& strips)
{
    Draw(strips);
    Write();
}

void TOverviewPass::Draw(TStripSource& strips)
{
    // The whole page by area averaging, one destination row at a time.
    Layout.CheckCopyCanStart();
    const TCopyRectangle rect{0,
                              0,
                              0,
                              0,
                              gdImageSX(Picture.get()),
                              gdImageSY(Picture.get()),
                              static_cast<int>(Width),
                              static_cast<int>(Height)};
    if (SourceSizeAccepted(rect)) {
        const TAveragingPlan plan(Picture.get(), rect, Layout.Width);
        TRowWindow window(Layout, strips);
        if (!plan.Empty() && window.Read(plan.FirstSourceRow(plan.FirstRow()))) {
            const TMasterColors colors(Layout);
            for (std::int32_t r = plan.FirstRow(); r < plan.EndRow(); ++r) {
                window.Reach(plan.LastSourceRow(r));
                window.Forget(plan.FirstSourceRow(r));
                plan.Draw(Picture.get(), r, r + 1, plan.FirstColumn(), plan.EndColumn(), window, colors);
            }
        }
    }
}

void TOverviewPass::Write()
{
    int size = 0;
    std::unique_ptr<void, void (*)(void*)> png(gdImagePngPtr(Picture.get(), &size), gdFree);
    if (!png)
        throw std::runtime_error("Could not encode overview " + FileName);
    WriteWholeFile(FileName, png.get(), static_cast<std::size_t>(size));
}

}  // namespace tavrin
