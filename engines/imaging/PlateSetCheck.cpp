#include "engines/imaging/PlateSetCheck.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/PlateFaults.h"
#include "base/text/TextRules.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <stdexcept>

namespace tavrin {

namespace {

constexpr std::array<const char*, 4> ProcessColorNames = {"CYAN", "MAGENTA", "YELLOW", "BLACK"};

bool IsProcessColor(const std::string& name)
{
    return std::find(ProcessColorNames.begin(), ProcessColorNames.end(), UpperCase(name)) != ProcessColorNames.end();
}

std::string PagePrefix(std::uint32_t jobReference, int page)
{
    return "Page " + std::to_string(page) + " of job " + std::to_string(jobReference);
}

// The bytes of a line as the master reads it: whole 32-bit words of the
// wider of the image width and the data width.
std::int64_t MasterLineBytes(std::int64_t imageWidth, std::int64_t dataWidth)
{
    return (std::max(imageWidth, dataWidth) + 31) / 32 * 4;
}

std::string YesNo(bool value)
{
    return value ? "true" : "false";
}

// Why the plate's header cannot describe its rows as the master reads
// them; empty when it can.
std::string RowsProblem(const TPGBObject& plate)
{
    const auto number = [](std::int64_t value) { return std::to_string(value); };
    if (plate.ImageWidth <= 0 || plate.ImageHeight <= 0)
        return "has no image size (ImageWidth " + number(plate.ImageWidth) + ", ImageHeight " +
               number(plate.ImageHeight) + ")";
    if (plate.BandHeight <= 0)
        return "has BandHeight " + number(plate.BandHeight) + ": its bands hold no lines of its " +
               number(plate.ImageHeight) + " lines";
    if (plate.MaxBand <= 0)
        return "has MaxBand " + number(plate.MaxBand) + ": it holds no band of its " + number(plate.ImageHeight) +
               " lines";
    if (std::int64_t(plate.MaxBand) * plate.BandHeight < plate.ImageHeight)
        return "has MaxBand " + number(plate.MaxBand) + " bands of BandHeight " + number(plate.BandHeight) +
               " lines, which cover only " + number(std::int64_t(plate.MaxBand) * plate.BandHeight) + " of its " +
               number(plate.ImageHeight) + " lines";
    const std::int64_t lineBytes = MasterLineBytes(plate.ImageWidth, plate.DataWidth);
    if (plate.BytesInLine != lineBytes)
        return "has BytesInLine " + number(plate.BytesInLine) + ", but its lines of ImageWidth " +
               number(plate.ImageWidth) + " (DataWidth " + number(plate.DataWidth) + ") pixels take " +
               number(lineBytes) + " bytes";
    if (std::int64_t(plate.BytesInBand) < std::int64_t(plate.BandHeight) * plate.BytesInLine)
        return "has BytesInBand " + number(plate.BytesInBand) + ", less than its BandHeight " +
               number(plate.BandHeight) + " lines of " + number(plate.BytesInLine) + " bytes";
    if (plate.Compressed != -1 && plate.Compressed != 7)
        return "has Compressed " + number(plate.Compressed) + ", which is no compression the station reads (-1 or 7)";
    return {};
}

// Why the band table points past the file or holds a band no reader takes;
// empty when every band is where the table says. A file the RIP is still
// writing ends inside its bands.
std::string BandsProblem(const TPGBObject& plate, std::uint64_t fileSize)
{
    for (std::size_t band = 0; band < plate.BandSizes.size(); ++band) {
        const std::uint64_t size = plate.BandSizes[band];
        if (size == 0)
            continue;
        if (plate.BandOffsets[band] > fileSize || size > fileSize - plate.BandOffsets[band])
            return "ends inside band " + std::to_string(band) + " of its " + std::to_string(plate.BandSizes.size()) +
                   " bands: the band's bytes reach " + std::to_string(plate.BandOffsets[band] + size) +
                   ", the file holds " + std::to_string(fileSize) + " (is the RIP still writing it?)";
        if (plate.Compressed == 7 && size > std::uint64_t(plate.BytesInBand))
            return "stores band " + std::to_string(band) + " in " + std::to_string(size) +
                   " bytes, more than the BytesInBand " + std::to_string(plate.BytesInBand) + " of a whole band";
    }
    return {};
}

std::string SizeText(int width, int height, int xResolution, int yResolution)
{
    return std::to_string(width) + " x " + std::to_string(height) + " pixels at " + std::to_string(xResolution) +
           " x " + std::to_string(yResolution) + " dpi";
}

std::string SizeText(const TPGBObject& plate)
{
    return SizeText(plate.ImageWidth, plate.ImageHeight, plate.XResolution, plate.YResolution);
}

std::string LayoutText(const TPGBObject& plate)
{
    return "bands of " + std::to_string(plate.BandHeight) + " lines of " + std::to_string(plate.BytesInLine) +
           " bytes (DataWidth " + std::to_string(plate.DataWidth) + ")";
}

std::string NegationText(bool imageNegate, bool marginNegate)
{
    return "ImageNegate " + YesNo(imageNegate) + " and MarginNegate " + YesNo(marginNegate);
}

bool SameSize(const TPGBObject& a, const TPGBObject& b)
{
    return a.ImageWidth == b.ImageWidth && a.ImageHeight == b.ImageHeight && a.XResolution == b.XResolution &&
           a.YResolution == b.YResolution;
}

bool SameLayout(const TPGBObject& a, const TPGBObject& b)
{
    return a.BandHeight == b.BandHeight && a.BytesInLine == b.BytesInLine && a.DataWidth == b.DataWidth;
}

bool SameNegation(const TPGBObject& a, const TPGBObject& b)
{
    return a.ImageNegate == b.ImageNegate && a.MarginNegate == b.MarginNegate;
}

std::string Named(const TPagePlate& plate)
{
    return plate.Source + " (" + plate.Header->ColorName + ")";
}

// The plates that differ from the first in one respect, each named with both values.
void AddDisagreements(std::vector<std::string>& problems, const std::string& prefix,
                      const std::vector<const TPagePlate*>& plates, const char* respect,
                      bool (*same)(const TPGBObject&, const TPGBObject&), std::string (*text)(const TPGBObject&))
{
    const TPagePlate& first = *plates.front();
    for (const TPagePlate* plate : plates)
        if (!same(*first.Header, *plate->Header))
            problems.push_back(prefix + ": its plates differ in " + respect + ": " + first.Source + " has " +
                               text(*first.Header) + ", " + plate->Source + " has " + text(*plate->Header));
}

std::string SizeOf(const TPGBObject& plate)
{
    return SizeText(plate);
}

std::string NegationOf(const TPGBObject& plate)
{
    return NegationText(plate.ImageNegate, plate.MarginNegate);
}

}  // namespace

bool SameInk(const std::string& a, const std::string& b)
{
    return UpperCase(a) == UpperCase(b);
}

TPagePlate ReadPagePlate(const std::string& inputFolder, const std::string& source, bool catalogued)
{
    TPagePlate plate;
    plate.Source = source;
    plate.Catalogued = catalogued;
    try {
        plate.Header = std::make_unique<TPGBObject>(inputFolder + source);
        std::error_code error;
        plate.FileSize = std::filesystem::file_size(inputFolder + source, error);
        if (error)
            throw std::runtime_error("Cannot measure the file \"" + inputFolder + source + "\": " + error.message());
    } catch (const std::exception& error) {
        plate.Unreadable = error.what();
    }
    return plate;
}

std::vector<TPagePlate> ReadJobPagePlates(TCatalogueConnection& catalogue, std::uint32_t jobReference, int page,
                                          const std::string& inputFolder)
{
    std::vector<TPagePlate> plates;
    TRecordSet rows;
    OpenQuery(catalogue, rows,
              "select * from PlateList where (PlateListJobReference = " + std::to_string(jobReference) +
                  ") and (PlateListPageNumber = " + std::to_string(page) + ")");
    for (; !rows.Eof(); rows.MoveNext())
        plates.push_back(ReadPagePlate(inputFolder, FieldValue(rows, "PlateListSource")));
    CloseQuery(rows);

    for (const TPlateFault& fault : LoadPlateFaults(catalogue, jobReference)) {
        if (fault.Page != page && fault.Page > 0)
            continue;
        // Gone since the scan: it no longer belongs to the job.
        std::error_code error;
        if (!std::filesystem::exists(inputFolder + fault.Source, error))
            continue;
        if (std::any_of(plates.begin(), plates.end(), [&](const TPagePlate& p) { return p.Source == fault.Source; }))
            continue;
        TPagePlate plate = ReadPagePlate(inputFolder, fault.Source, false);
        plate.LeftOutBecause = fault.Reason;
        if (plate.Header ? plate.Header->JobNumber != std::int32_t(jobReference) || plate.Header->PageNumber != page
                         : fault.Page != page)
            continue;  // whole now and another page's, or a job-wide problem
        plates.push_back(std::move(plate));
    }
    return plates;
}

int PagesToCheck(TCatalogueConnection& catalogue, std::uint32_t jobReference, int pageCount,
                 const std::string& inputFolder)
{
    int pages = pageCount;
    for (const TPlateFault& fault : LoadPlateFaults(catalogue, jobReference)) {
        std::error_code error;
        if (fault.Page > pages && std::filesystem::exists(inputFolder + fault.Source, error))
            pages = fault.Page;
    }
    return pages;
}

std::vector<std::string> JobPlateProblems(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                          const std::string& inputFolder)
{
    std::vector<std::string> problems;
    for (const TPlateFault& fault : LoadPlateFaults(catalogue, jobReference)) {
        std::error_code error;
        if (fault.Page > 0 || !std::filesystem::exists(inputFolder + fault.Source, error))
            continue;
        const TPagePlate plate = ReadPagePlate(inputFolder, fault.Source, false);
        if (!plate.Header)
            problems.push_back("Job " + std::to_string(jobReference) + ": cannot read the plate file " + fault.Source +
                               ", and neither its header nor its name tells its page: " + plate.Unreadable);
    }
    return problems;
}

// 1. Each file: readable, rows it can describe, bands inside the file.
// 2. The inks: one plate each, no more than the master holds. 3. One size,
// resolution, band layout and negation for all, and the job master's.
// 4. Nothing the scan left out.
std::vector<std::string> PagePlateProblems(std::uint32_t jobReference, int page, const std::vector<TPagePlate>& plates,
                                           const TMasterGeometry* master)
{
    const std::string prefix = PagePrefix(jobReference, page);
    std::vector<std::string> problems;
    std::vector<const TPagePlate*> sound;
    for (const TPagePlate& plate : plates) {
        if (!plate.Header) {
            problems.push_back(prefix + ": cannot read the plate file " + plate.Source + ": " + plate.Unreadable);
            continue;
        }
        std::string rows = RowsProblem(*plate.Header);
        if (rows.empty())
            rows = BandsProblem(*plate.Header, plate.FileSize);
        if (!rows.empty()) {
            problems.push_back(prefix + ": the plate file " + plate.Source + " " + rows);
            continue;
        }
        sound.push_back(&plate);
    }

    std::vector<const TPagePlate*> inks;
    std::vector<const TPagePlate*> spots;
    for (const TPagePlate& plate : plates) {
        if (!plate.Header)
            continue;
        const auto same = std::find_if(inks.begin(), inks.end(), [&](const TPagePlate* ink) {
            return SameInk(ink->Header->ColorName, plate.Header->ColorName);
        });
        if (same != inks.end()) {
            problems.push_back(prefix + " has two " + UpperCase(plate.Header->ColorName) + " plates: " + Named(**same) +
                               " and " + Named(plate));
            continue;
        }
        inks.push_back(&plate);
        if (!IsProcessColor(plate.Header->ColorName))
            spots.push_back(&plate);
    }
    if (spots.size() > MaxSpotPlates) {
        std::string extra;
        for (std::size_t i = MaxSpotPlates; i < spots.size(); ++i)
            extra += (extra.empty() ? "" : ", ") + Named(*spots[i]);
        problems.push_back(prefix + " has " + std::to_string(inks.size() - spots.size()) + " process and " +
                           std::to_string(spots.size()) + " spot colour plates, more than a master holds (" +
                           std::to_string(MaxProcessPlates) + " process and " + std::to_string(MaxSpotPlates) +
                           " spot colours); these do not fit: " + extra);
    }

    if (!sound.empty()) {
        const std::size_t before = problems.size();
        AddDisagreements(problems, prefix, sound, "size or resolution", SameSize, SizeOf);
        // Plates of different sizes differ in their lines as well: said once.
        if (problems.size() == before)
            AddDisagreements(problems, prefix, sound, "band layout", SameLayout, LayoutText);
        AddDisagreements(problems, prefix, sound, "negation", SameNegation, NegationOf);
        const TPGBObject& first = *sound.front()->Header;
        const std::string named = " (" + sound.front()->Source + ")";
        if (master && problems.size() == before) {
            const std::string job = ", but the job's master is ";
            const std::string from = ", as the job was catalogued from its first plate file";
            if (first.ImageWidth != master->ImageWidth || first.ImageHeight != master->ImageHeight ||
                first.XResolution != master->XResolution || first.YResolution != master->YResolution)
                problems.push_back(
                    prefix + ": its plates are " + SizeText(first) + named + job +
                    SizeText(master->ImageWidth, master->ImageHeight, master->XResolution, master->YResolution) + from);
            else if (first.BytesInLine != MasterLineBytes(master->ImageWidth, master->DataWidth))
                problems.push_back(prefix + ": its plates' lines are " + std::to_string(first.BytesInLine) + " bytes" +
                                   named + job + "read in lines of " +
                                   std::to_string(MasterLineBytes(master->ImageWidth, master->DataWidth)) +
                                   " bytes (DataWidth " + std::to_string(master->DataWidth) + ")" + from);
            if (first.ImageNegate != master->ImageNegate || first.MarginNegate != master->MarginNegate)
                problems.push_back(prefix + ": its plates have " + NegationOf(first) + named + job + "made with " +
                                   NegationText(master->ImageNegate, master->MarginNegate) + from);
        }
    }

    // A file the scan could not read that reads now, and fits: the job list lacks it.
    if (problems.empty())
        for (const TPagePlate& plate : plates)
            if (!plate.Catalogued)
                problems.push_back(prefix + ": the plate file " + plate.Source +
                                   " was left out when the page buffer folder was last scanned (" +
                                   plate.LeftOutBecause + "); refresh the job list before proofing the job");
    return problems;
}

}  // namespace tavrin
