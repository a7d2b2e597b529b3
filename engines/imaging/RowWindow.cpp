#include "engines/imaging/RowWindow.h"

#include <algorithm>
#include <stdexcept>

namespace tavrin {

void TRowWindow::Reach(std::int64_t row)
{
    const std::uint32_t wanted = Layout.StripOfRow(row);
    while (!ReaderDone && (Strips.empty() || Strips.back()->Number < wanted)) {
        auto strip = Reader.Next();
        if (!strip) {
            ReaderDone = true;
            break;
        }
        if (strip->Failed)
            throw std::runtime_error("Could not read strip " + std::to_string(strip->Number) + " of " +
                                     Layout.FileName + ": " + strip->Error);
        Strips.push_back(std::move(strip));
    }
}

void TRowWindow::Forget(std::int64_t row)
{
    const std::uint32_t first = Layout.StripOfRow(row);
    while (!Strips.empty() && Strips.front()->Number < first)
        Strips.pop_front();
}

bool TRowWindow::Read(std::int64_t row)
{
    Reach(row);
    Forget(row);
    return StripOf(row) != nullptr;
}

const std::shared_ptr<const TMasterStrip>* TRowWindow::StripOf(std::int64_t row) const
{
    if (Strips.empty())
        return nullptr;
    const std::uint32_t number = Layout.StripOfRow(row);
    if (number < Strips.front()->Number || number > Strips.back()->Number)
        return nullptr;
    return &Strips[number - Strips.front()->Number];
}

const std::uint8_t* TRowWindow::Line(std::int64_t row) const
{
    const std::uint32_t clamped = Layout.ClampRow(row);
    const auto& strip = Strips[clamped / Layout.RowsPerStrip - Strips.front()->Number];
    return strip->Pixels.get() + std::size_t(clamped % Layout.RowsPerStrip) * Layout.LineBytes;
}

std::int64_t TRowWindow::LastRow() const
{
    if (Strips.empty())
        return -1;
    return std::min<std::int64_t>(std::int64_t(Strips.back()->Number + 1) * Layout.RowsPerStrip, Layout.Height) - 1;
}

}  // namespace tavrin
