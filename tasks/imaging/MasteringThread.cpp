#include "tasks/imaging/MasteringThread.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/InkCoverage.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/PlateDigest.h"
#include "base/catalogue/ProofFingerprint.h"
#include "base/pagebuffer/PGBObject.h"
#include "base/tasking/RoundedPercent.h"
#include "base/text/SHA256Digest.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/imaging/PlateIndexBits.h"
#include "engines/imaging/PlateSetCheck.h"
#include "engines/imaging/ProofImage.h"
#include "engines/web/ProofPages.h"
#include "tasks/imaging/TilingThread.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace tavrin {

namespace {

std::string ProfileText(const std::string& profile)
{
    return profile.empty() ? "Default" : profile;
}

std::uint32_t NonNegative(std::int64_t value)
{
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, UINT32_MAX));
}

// Colour value i of a plate; a header with fewer values reads 0 for the rest.
std::uint16_t ColorValue(const TPGBObject& plate, std::size_t i)
{
    return i < plate.ColorValues.size() ? plate.ColorValues[i] : 0;
}

// Removes what was made from a page's master: the master itself, its
// overview and its tile databases. Raises when one cannot be removed.
void RemovePageOutput(const std::string& uniqueID, int page)
{
    const std::string folder = JobFolderPath(uniqueID);
    RemoveOutputFile(MasterImagePath(uniqueID, page));
    RemoveOutputFile(folder + OverviewName(page));
    for (int level = 0; level < TTilingThread::LevelCount; ++level)
        RemoveOutputFile(folder + TTilingThread::TileDatabaseName(level, page));
}

// The figures of a written master: one row per plate in it, in plane order.
std::vector<TPlateCoverage> PageCoverage(const TProofImage& image, const std::array<TPGBObject*, 8>& planes)
{
    const std::array<std::uint64_t, 8> inked = image.InkedPixels();
    std::vector<TPlateCoverage> plates;
    for (std::size_t plane = 0; plane < planes.size(); ++plane) {
        if (!planes[plane])
            continue;
        TPlateCoverage plate;
        plate.ColorName = planes[plane]->ColorName;
        plate.IndexBit = PlaneIndexBit[plane];
        plate.InkedPixels = inked[static_cast<std::size_t>(plate.IndexBit)];
        plate.PagePixels = image.PixelsWritten();
        plates.push_back(std::move(plate));
    }
    return plates;
}

// The row digests of a written master: one row per plate in it, in plane order.
std::vector<TPlateDigest> PageDigests(const TProofImage& image, const std::array<TPGBObject*, 8>& planes, int page)
{
    std::vector<TPlateDigest> plates;
    for (std::size_t plane = 0; plane < planes.size(); ++plane) {
        if (!planes[plane])
            continue;
        const int bit = PlaneIndexBit[plane];
        plates.push_back({page, planes[plane]->ColorName, bit, image.Width(), image.Height(), image.XResolution(),
                          image.YResolution(), image.PlateRowDigests()[static_cast<std::size_t>(bit)]});
    }
    return plates;
}

}  // namespace

// The readers of one page and the band geometry they share.
struct TMasteringThread::TPagePlates {
    std::vector<std::unique_ptr<TPGBObject>> Plates;  // in PlateList order
    std::vector<std::string> Paths;                   // of each plate's file
    std::vector<int> IndexBits;                       // of each plate; -1 where the master leaves it out
    std::uint32_t BandHeight = 0;
    std::uint32_t BandCount = 0;
    std::size_t BlankSize = 0;

    // Takes the plates of a page, read and checked, and gives each its index bit.
    TPagePlates(std::vector<TPagePlate> plates, const std::string& inputFolder)
    {
        std::vector<std::string> colorNames;
        for (TPagePlate& plate : plates) {
            BandHeight = std::max(BandHeight, NonNegative(plate.Header->BandHeight));
            BandCount = std::max(BandCount, NonNegative(plate.Header->MaxBand));
            BlankSize = std::max<std::size_t>(BlankSize, NonNegative(plate.Header->BytesInBand));
            colorNames.push_back(plate.Header->ColorName);
            Plates.push_back(std::move(plate.Header));
            Paths.push_back(inputFolder + plate.Source);
        }
        IndexBits = PlateIndexBits(colorNames);
    }

    // The digest of each plate file in the master, in index-plane order: what
    // the proof was made from. Source is the name as the page buffer folder holds it.
    std::vector<TPlateFingerprint> Fingerprints(int page, const std::string& inputFolder) const
    {
        std::array<const TPlateFingerprint*, 8> byPlane{};
        std::vector<TPlateFingerprint> plates;
        plates.reserve(Plates.size());
        for (std::size_t i = 0; i < Plates.size(); ++i) {
            if (IndexBits[i] < 0)
                continue;
            const std::string& path = Paths[i];
            const bool inFolder = path.compare(0, inputFolder.size(), inputFolder) == 0;
            plates.push_back(
                {page, Plates[i]->ColorName, inFolder ? path.substr(inputFolder.size()) : path, FileSHA256(path)});
        }
        std::vector<TPlateFingerprint> ordered;
        std::size_t next = 0;
        for (std::size_t i = 0; i < Plates.size(); ++i)
            if (IndexBits[i] >= 0)
                byPlane[PlaneOfIndexBit(IndexBits[i])] = &plates[next++];
        for (const TPlateFingerprint* plate : byPlane)
            if (plate)
                ordered.push_back(*plate);
        return ordered;
    }

    // The plates in the master, in index-plane order; null where the page has none.
    std::array<TPGBObject*, 8> Planes() const
    {
        std::array<TPGBObject*, 8> planes{};
        for (std::size_t i = 0; i < Plates.size(); ++i)
            if (IndexBits[i] >= 0)
                planes[PlaneOfIndexBit(IndexBits[i])] = Plates[i].get();
        return planes;
    }
};

namespace {

// The bands of one band row: each plane is a delivered block, a padded copy
// of one that is shorter than the proof image reads, or the blank band.
class TBandRow {
public:
    // place names the page in messages: "Page 2 of job 712".
    TBandRow(std::size_t bandBytes, std::size_t blankSize, std::string place)
        : BandBytes(bandBytes), Blank(std::max(bandBytes, blankSize), 0), Place(std::move(place))
    {
    }

    TPlatePlanes Read(const std::array<TPGBObject*, 8>& plates, std::uint32_t band)
    {
        TPlatePlanes planes;
        for (std::size_t i = 0; i < plates.size(); ++i)
            planes[i] = ReadPlane(plates[i], band, i);
        return planes;
    }

    // Releases the delivered blocks; the blank band stays.
    void Release()
    {
        for (TBandBlock& block : Blocks)
            block.reset();
    }

private:
    const std::uint8_t* ReadPlane(TPGBObject* plate, std::uint32_t band, std::size_t i)
    {
        // Bands past a plate's own table are paper; a band the plate has but
        // cannot deliver would make a proof that is not the plate.
        if (!plate || band >= NonNegative(plate->MaxBand))
            return Blank.data();
        Blocks[i] = plate->ReadBand(static_cast<int>(band));
        if (!Blocks[i])
            throw std::runtime_error(Place + ": Cannot read band " + std::to_string(band) + " of plate " +
                                     plate->FilePath() + ": " + plate->ReadBandError());
        const std::size_t delivered = NonNegative(plate->BytesInBand);
        if (delivered >= BandBytes)
            return Blocks[i].get();
        // Never read past the block: pad a short band with blank lines.
        Padded[i].assign(BandBytes, 0);
        std::memcpy(Padded[i].data(), Blocks[i].get(), delivered);
        return Padded[i].data();
    }

    const std::size_t BandBytes;
    std::vector<std::uint8_t> Blank;
    const std::string Place;
    std::array<TBandBlock, 8> Blocks;
    std::array<std::vector<std::uint8_t>, 8> Padded;
};

}  // namespace

TMasteringThread::TMasteringThread(TMessageTarget& target, const TTaskContext& context)
    : TTaskThread(target, context.JobReference(), WM_MASTER_DONE), InputFolder(context.Settings().InputFolder),
      SourceProfile(context.Settings().ProfilesValid ? context.Settings().SourceColorProfile : ""),
      DestinationProfile(context.Settings().ProfilesValid ? context.Settings().DestinationColorProfile : ""),
      Catalogue(context.Catalogue())
{
}

void TMasteringThread::Run()
{
    const std::string reference = std::to_string(JobReference());
    TJobDetailRecord job;
    LoadJobDetail(Catalogue, static_cast<std::int32_t>(JobReference()), job);
    if (job.ID == 0) {
        Fail("Invalid Job for reference " + reference);
        return;
    }
    // The proof pages stand for the old masters: without them no later start
    // skips past the tasks that this one is about to redo.
    RemoveJobProofPages(JobFolderPath(job.UniqueID));
    RemoveUnfinishedOutput(job.UniqueID);
    PostLogText("Creating master tiff image(s)...");
    if (job.PageCount < 1) {
        Fail("Job " + reference + " has no pages");
        return;
    }
    // 1. The plates of every page, read and checked as a whole before
    //    anything is written: a proof without one of them, or with one
    //    distorted, must not be made at all.
    const TMasterGeometry geometry{job.ImageWidth,  job.ImageHeight,     job.DataWidth,       job.XResolution,
                                   job.YResolution, job.ImageNegate > 0, job.MarginNegate > 0};
    // Only the headers and band tables are read: one page's at a time.
    std::vector<std::string> problems = JobPlateProblems(Catalogue, JobReference(), InputFolder);
    const int pages = PagesToCheck(Catalogue, JobReference(), job.PageCount, InputFolder);
    for (int page = 1; page <= pages; ++page) {
        const std::vector<std::string> found = PageProblems(page, pages, geometry, nullptr);
        problems.insert(problems.end(), found.begin(), found.end());
    }
    if (!problems.empty()) {
        // The old masters stand for plates that are no longer the job's: a
        // later start must begin with Master again, not publish them.
        for (int page = 1; page <= pages; ++page) {
            RemovePageOutput(job.UniqueID, page);
            RemovePageCoverage(Catalogue, JobReference(), page);
            RemovePageFingerprints(Catalogue, JobReference(), page);
            RemovePageDigests(Catalogue, JobReference(), page);
        }
        FailWith(problems);
        return;
    }
    // 2. The master of each page, in place of everything made from the old
    //    one, its ink figures among them. A long job gives the RIP time to
    //    rewrite a plate: each page's set is read and checked again.
    RemoveCoverageBeyondPages(Catalogue, JobReference(), job.PageCount);
    RemoveFingerprintsBeyondPages(Catalogue, JobReference(), job.PageCount);
    RemoveDigestsBeyondPages(Catalogue, JobReference(), job.PageCount);
    for (int page = 1; page <= job.PageCount; ++page) {
        PostPage(page);
        RemovePageOutput(job.UniqueID, page);
        RemovePageCoverage(Catalogue, JobReference(), page);
        RemovePageFingerprints(Catalogue, JobReference(), page);
        RemovePageDigests(Catalogue, JobReference(), page);
        std::vector<TPagePlate> read;
        problems = PageProblems(page, job.PageCount, geometry, &read);
        if (!problems.empty()) {
            FailWith(problems);
            return;
        }
        TPagePlates plates(std::move(read), InputFolder);
        MasterPage(job, page, plates);
    }
    PostLogText("Finished creating master image", 100);
}

std::vector<std::string> TMasteringThread::PageProblems(int page, int pages, const TMasterGeometry& geometry,
                                                        std::vector<TPagePlate>* read) const
{
    std::vector<TPagePlate> plates = ReadJobPagePlates(Catalogue, JobReference(), page, InputFolder);
    if (plates.empty())
        return {"Page " + std::to_string(page) + " of job " + std::to_string(JobReference()) +
                " has no plates (pages 1 to " + std::to_string(pages) + " expected)"};
    std::vector<std::string> problems = PagePlateProblems(JobReference(), page, plates, &geometry);
    if (read)
        *read = std::move(plates);
    return problems;
}

void TMasteringThread::FailWith(const std::vector<std::string>& problems)
{
    for (std::size_t i = 1; i < problems.size(); ++i)
        PostLogText(problems[i]);
    Fail(problems.size() == 1 ? problems[0]
                              : problems[0] + "; and " + std::to_string(problems.size() - 1) +
                                    (problems.size() == 2 ? " more problem" : " more problems") + " listed above");
}

void TMasteringThread::MasterPage(const TJobDetailRecord& job, int page, TPagePlates& plates)
{
    PostLogText("Source Profile: " + ProfileText(SourceProfile));
    PostLogText("Destination Profile: " + ProfileText(DestinationProfile));
    std::error_code ignored;
    std::filesystem::create_directories(OutputFolder(), ignored);
    const std::string path = MasterImagePath(job.UniqueID, page);
    auto image = TProofImage::CreateForWrite(path, NonNegative(job.ImageWidth), NonNegative(job.ImageHeight),
                                             NonNegative(job.DataWidth), NonNegative(job.XResolution),
                                             NonNegative(job.YResolution), job.MarginNegate > 0, job.ImageNegate > 0,
                                             SourceProfile, DestinationProfile);
    // Spot k of the colour table is the plate in plane 4 + k.
    const auto planes = plates.Planes();
    for (std::size_t plane = 4; plane < planes.size() && planes[plane]; ++plane) {
        const TPGBObject& spot = *planes[plane];
        image->AddSpotColor(spot.ColorName, ColorValue(spot, 0), ColorValue(spot, 1), ColorValue(spot, 2),
                            ColorValue(spot, 3));
    }

    // Only the page's own plates are digested.
    std::uint8_t digested = 0;
    for (std::size_t plane = 0; plane < planes.size(); ++plane)
        if (planes[plane])
            digested = static_cast<std::uint8_t>(digested | (1u << PlaneIndexBit[plane]));
    image->DigestPlates(digested);

    // Hashed before and after: a plate file rewritten while the master was made
    // would leave a proof of bytes no digest describes.
    const std::vector<TPlateFingerprint> fingerprints = plates.Fingerprints(page, InputFolder);
    const std::size_t bandBytes = std::size_t(plates.BandHeight) * image->WordsPerLine() * 4;
    TBandRow row(bandBytes, plates.BlankSize,
                 "Page " + std::to_string(page) + " of job " + std::to_string(JobReference()));
    for (std::uint32_t band = 0; band < plates.BandCount; ++band) {
        const std::uint64_t firstLine = std::uint64_t(band) * plates.BandHeight;
        image->WriteBand(static_cast<std::uint32_t>(std::min<std::uint64_t>(firstLine, image->Height())),
                         plates.BandHeight, row.Read(planes, band));
        row.Release();
        PostLogText("", RoundedPercent(band, plates.BandCount));
    }
    // Completing the writer gives the master its name.
    image->Close();
    try {
        const std::vector<TPlateFingerprint> after = plates.Fingerprints(page, InputFolder);
        for (std::size_t i = 0; i < after.size(); ++i)
            if (after[i].SHA256 != fingerprints[i].SHA256)
                throw std::runtime_error("The plate file " + after[i].Source + " changed while page " +
                                         std::to_string(page) + " was mastered");
        ReplacePageCoverage(Catalogue, JobReference(), page, PageCoverage(*image, planes));
        ReplacePageFingerprints(Catalogue, JobReference(), page, fingerprints);
        ReplacePageDigests(Catalogue, JobReference(), page, PageDigests(*image, planes, page));
    } catch (...) {
        // A master without its figures and digests would pass for one made before they were kept.
        std::filesystem::remove(path, ignored);
        throw;
    }
}

}  // namespace tavrin
