#include "engines/imaging/RoundCompare.h"

#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/PlateDigest.h"
#include "base/text/TextRules.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/imaging/MasterLayout.h"
#include "engines/imaging/ProofImage.h"
#include "engines/imaging/StripReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace tavrin {

namespace {

// Strips decoded ahead of the compare on a thread of each master's own, so
// both cores decode while the rows are compared.
constexpr unsigned CompareReadAheadStrips = 2;
// Rows between two progress reports to a sink.
constexpr std::uint32_t CompareProgressRows = 1024;

const TRoundPlate* FindPlate(const TRoundPage& page, const std::string& name)
{
    for (const TRoundPlate& plate : page.Plates)
        if (SameTextIgnoringCase(plate.ColorName, name))
            return &plate;
    return nullptr;
}

// The rows of one master, top to bottom, from its strips.
class TMasterRows {
public:
    explicit TMasterRows(const std::string& path)
        : Image(TProofImage::CreateForRead(path)), Layout(TMasterLayout::Read(Image->Tiff()))
    {
        if (!Layout.LinesReadable())
            throw std::runtime_error("Cannot compare " + path + ": its lines cannot be read");
        Reader =
            std::make_unique<TStripReader>(Image->Tiff(), Layout, 0, Layout.StripCount - 1, CompareReadAheadStrips);
    }

    std::uint32_t Width() const { return Layout.Width; }
    std::uint32_t Height() const { return Layout.Height; }

    // Row y; rows are asked for in order.
    const std::uint8_t* Row(std::uint32_t y)
    {
        const std::uint32_t strip = y / Layout.RowsPerStrip;
        while (!Current || Current->Number < strip) {
            Current = Reader->Next();
            if (!Current)
                throw std::runtime_error("Cannot read strip " + std::to_string(strip) + " of " + Layout.FileName);
            // A strip that cannot be read shows no pixels to compare.
            if (Current->Failed)
                throw std::runtime_error("Cannot read strip " + std::to_string(Current->Number) + " of " +
                                         Layout.FileName + ": " + Current->Error);
        }
        return Current->Pixels.get() + std::size_t(y % Layout.RowsPerStrip) * Layout.LineBytes;
    }

private:
    std::unique_ptr<TProofImage> Image;
    TMasterLayout Layout;
    std::unique_ptr<TStripReader> Reader;
    std::shared_ptr<const TMasterStrip> Current;
};

struct TCommonPlate {
    int OldBit = 0;
    int NewBit = 0;
    std::size_t Result = 0;  // index into the comparison's plates
};

// Counts, plate by plate, the pixels whose inked state differs, and the
// rectangle that holds them.
void ComparePixels(const TRoundPage& older, const TRoundPage& newer, const std::vector<TCommonPlate>& common,
                   TPageComparison& result, TCompareRowSink* sink)
{
    TMasterRows oldRows(older.MasterPath);
    TMasterRows newRows(newer.MasterPath);
    if (oldRows.Width() != newRows.Width() || oldRows.Height() != newRows.Height()) {
        result.SizeChanged = true;
        result.OldWidth = oldRows.Width();
        result.OldHeight = oldRows.Height();
        result.NewWidth = newRows.Width();
        result.NewHeight = newRows.Height();
        return;
    }
    // The earlier round's index moved onto the newer one's bits, so one XOR
    // tells every common plate's change at once.
    std::array<std::uint8_t, 256> moved{};
    std::uint8_t mask = 0;
    bool sameBits = true;
    for (const TCommonPlate& plate : common) {
        mask = static_cast<std::uint8_t>(mask | (1u << plate.NewBit));
        sameBits = sameBits && plate.OldBit == plate.NewBit;
        for (unsigned index = 0; index < 256; ++index)
            if (index & (1u << plate.OldBit))
                moved[index] = static_cast<std::uint8_t>(moved[index] | (1u << plate.NewBit));
    }
    std::array<int, 8> resultOfBit{};
    resultOfBit.fill(-1);
    for (const TCommonPlate& plate : common)
        resultOfBit[static_cast<std::size_t>(plate.NewBit)] = static_cast<int>(plate.Result);
    const std::uint32_t width = newRows.Width();
    // The changed plate bits of each pixel of a row, and how often each
    // combination of them occurred (four tallies, so that neighbouring
    // pixels of one combination do not wait on each other's count).
    std::vector<std::uint8_t> changed(width);
    std::array<std::array<std::uint64_t, 256>, 4> tally{};
    std::uint32_t left = width, right = 0, top = 0, bottom = 0;
    bool any = false;
    const std::uint32_t height = newRows.Height();
    if (sink)
        sink->Begin(width, height);
    for (std::uint32_t y = 0; y < height; ++y) {
        if (sink && y % CompareProgressRows == 0 && y > 0)
            sink->Compared(y, height);
        const std::uint8_t* a = oldRows.Row(y);
        const std::uint8_t* b = newRows.Row(y);
        if (sameBits) {
            if (std::memcmp(a, b, width) == 0)
                continue;
            for (std::uint32_t x = 0; x < width; ++x)
                changed[x] = static_cast<std::uint8_t>((a[x] ^ b[x]) & mask);
        } else {
            for (std::uint32_t x = 0; x < width; ++x)
                changed[x] = static_cast<std::uint8_t>((moved[a[x]] ^ b[x]) & mask);
        }
        std::uint32_t first = 0;
        while (first < width && !changed[first])
            ++first;
        if (first == width)
            continue;
        std::uint32_t last = width - 1;
        while (!changed[last])
            --last;
        for (std::uint32_t x = first; x <= last; ++x)
            ++tally[x & 3][changed[x]];
        if (sink)
            sink->Changed(y, changed.data(), first, last);
        left = std::min(left, first);
        right = std::max(right, last);
        if (!any)
            top = y;
        bottom = y;
        any = true;
    }
    if (sink)
        sink->Compared(height, height);
    std::array<std::uint64_t, 8> counts{};
    for (unsigned combination = 1; combination < 256; ++combination)
        for (unsigned bit = 0; bit < 8; ++bit)
            if (combination & (1u << bit))
                for (const auto& part : tally)
                    counts[bit] += part[combination];
    for (std::size_t bit = 0; bit < counts.size(); ++bit)
        if (resultOfBit[bit] >= 0)
            result.Plates[static_cast<std::size_t>(resultOfBit[bit])].Pixels = counts[bit];
    if (any) {
        result.HasArea = true;
        result.Left = left;
        result.Top = top;
        result.Right = right;
        result.Bottom = bottom;
    }
}

bool MasterExists(const TRoundPage& page)
{
    std::error_code error;
    return std::filesystem::is_regular_file(page.MasterPath, error);
}

std::string SizeText(std::uint32_t a, std::uint32_t b)
{
    return std::to_string(a) + "x" + std::to_string(b);
}

}  // namespace

TPageComparison CompareRoundPages(const TRoundPage* older, const TRoundPage* newer, TCompareRowSink* sink)
{
    TPageComparison result;
    if (!older && !newer)
        return result;
    result.Page = newer ? newer->Page : older->Page;
    if (!older || !newer) {
        result.State = older ? TPageComparison::TState::Removed : TPageComparison::TState::New;
        return result;
    }
    result.ByDigests = !MasterExists(*older) || !MasterExists(*newer);
    result.OldWidth = older->Width;
    result.OldHeight = older->Height;
    result.NewWidth = newer->Width;
    result.NewHeight = newer->Height;
    result.OldXResolution = older->XResolution;
    result.OldYResolution = older->YResolution;
    result.NewXResolution = newer->XResolution;
    result.NewYResolution = newer->YResolution;
    result.SizeChanged = older->Width != newer->Width || older->Height != newer->Height;
    result.ResolutionChanged = older->XResolution != newer->XResolution || older->YResolution != newer->YResolution;
    if (result.SizeChanged || result.ResolutionChanged) {
        result.State = TPageComparison::TState::Changed;
        return result;
    }
    std::vector<TCommonPlate> common;
    for (const TRoundPlate& plate : newer->Plates) {
        const TRoundPlate* before = FindPlate(*older, plate.ColorName);
        if (!before) {
            result.Plates.push_back({plate.ColorName, TPlateDifference::TKind::New, 0});
            continue;
        }
        if (result.ByDigests) {
            if (before->SHA256 != plate.SHA256)
                result.Plates.push_back({plate.ColorName, TPlateDifference::TKind::Changed, 0});
            continue;
        }
        common.push_back({before->IndexBit, plate.IndexBit, result.Plates.size()});
        result.Plates.push_back({plate.ColorName, TPlateDifference::TKind::Changed, 0});
    }
    for (const TRoundPlate& plate : older->Plates)
        if (!FindPlate(*newer, plate.ColorName))
            result.Plates.push_back({plate.ColorName, TPlateDifference::TKind::Gone, 0});
    if (!result.ByDigests) {
        ComparePixels(*older, *newer, common, result, sink);
        if (result.SizeChanged) {
            // The masters are not of the size recorded: they are what the customer sees.
            result.Plates.clear();
            result.State = TPageComparison::TState::Changed;
            return result;
        }
        // A common plate whose pixels are all the same is no difference.
        std::erase_if(result.Plates, [](const TPlateDifference& plate) {
            return plate.Kind == TPlateDifference::TKind::Changed && plate.Pixels == 0;
        });
    }
    result.State = result.Plates.empty() ? TPageComparison::TState::Same : TPageComparison::TState::Changed;
    return result;
}

std::vector<TRoundPage> LoadRoundPages(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TJobDetailRecord job;
    LoadJobDetail(catalogue, static_cast<std::int32_t>(jobReference), job);
    const std::string name = "job " + std::to_string(jobReference);
    if (job.ID == 0)
        throw ERoundNotComparable("There is no " + name + " in the catalogue");
    const std::vector<TPlateDigest> digests = LoadJobDigests(catalogue, jobReference);
    std::vector<TRoundPage> pages;
    for (int page = 1; page <= job.PageCount; ++page) {
        TRoundPage round;
        round.Page = page;
        round.MasterPath = MasterImagePath(job.UniqueID, page);
        for (const TPlateDigest& plate : digests) {
            if (plate.Page != page)
                continue;
            round.Width = plate.Width;
            round.Height = plate.Height;
            round.XResolution = plate.XResolution;
            round.YResolution = plate.YResolution;
            round.Plates.push_back({plate.ColorName, plate.IndexBit, plate.SHA256});
        }
        if (round.Plates.empty())
            throw ERoundNotComparable("Page " + std::to_string(page) + " of " + name +
                                      " has no plate digests: they are recorded when the job is mastered");
        std::sort(round.Plates.begin(), round.Plates.end(),
                  [](const TRoundPlate& a, const TRoundPlate& b) { return a.IndexBit < b.IndexBit; });
        pages.push_back(std::move(round));
    }
    return pages;
}

std::vector<TPageComparison> CompareRounds(TCatalogueConnection& catalogue, std::uint32_t olderJob,
                                           std::uint32_t newerJob)
{
    const std::vector<TRoundPage> older = LoadRoundPages(catalogue, olderJob);
    const std::vector<TRoundPage> newer = LoadRoundPages(catalogue, newerJob);
    std::vector<TPageComparison> pages;
    for (std::size_t i = 0; i < std::max(older.size(), newer.size()); ++i)
        pages.push_back(
            CompareRoundPages(i < older.size() ? &older[i] : nullptr, i < newer.size() ? &newer[i] : nullptr));
    return pages;
}

std::string ComparisonLine(const TPageComparison& page)
{
    std::string line = "page " + std::to_string(page.Page);
    switch (page.State) {
    case TPageComparison::TState::New: return line + " new";
    case TPageComparison::TState::Removed: return line + " removed";
    case TPageComparison::TState::Same: return line + (page.ByDigests ? " same; by plate digests" : " same");
    case TPageComparison::TState::Changed: break;
    }
    line += " changed: ";
    if (page.SizeChanged || page.ResolutionChanged) {
        if (page.SizeChanged)
            line +=
                "size " + SizeText(page.OldWidth, page.OldHeight) + " to " + SizeText(page.NewWidth, page.NewHeight);
        if (page.ResolutionChanged)
            line += std::string(page.SizeChanged ? ", " : "") + "resolution " +
                    SizeText(page.OldXResolution, page.OldYResolution) + " to " +
                    SizeText(page.NewXResolution, page.NewYResolution) + " dpi";
    } else {
        bool changedPlate = false;
        for (std::size_t i = 0; i < page.Plates.size(); ++i) {
            const TPlateDifference& plate = page.Plates[i];
            line += (i ? ", " : "") + plate.ColorName;
            switch (plate.Kind) {
            case TPlateDifference::TKind::New: line += " (new)"; break;
            case TPlateDifference::TKind::Gone: line += " (gone)"; break;
            case TPlateDifference::TKind::Changed:
                changedPlate = true;
                if (!page.ByDigests)
                    line += " " + std::to_string(plate.Pixels) + " px";
                break;
            }
        }
        if (page.HasArea)
            line += "; area " + std::to_string(page.Left) + "," + std::to_string(page.Top) + " to " +
                    std::to_string(page.Right) + "," + std::to_string(page.Bottom);
        else if (changedPlate && page.ByDigests)
            line += "; area unknown";
    }
    if (page.ByDigests)
        line += "; by plate digests";
    return line;
}

}  // namespace tavrin
