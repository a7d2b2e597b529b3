#include "tasks/catalogue/FolderScan.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueTransaction.h"
#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/PlateFaults.h"
#include "base/catalogue/UniqueIDs.h"
#include "base/pagebuffer/PGBObject.h"
#include "base/platform/LocalClock.h"
#include "base/settings/SettingsRecord.h"
#include "base/tasking/StationLog.h"
#include "base/text/TextRules.h"
#include "engines/imaging/ColorTableGenerator.h"
#include "engines/imaging/PlateSetCheck.h"
#include "engines/imaging/SpotColor.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>

namespace tavrin {

namespace {

constexpr std::size_t MaxNodeNameLength = 255;

// What the folder listing found.
struct TFolderListing {
    bool Failed = false;
    std::vector<std::string> Names;  // in the order the file system gave them
};

bool HasPageBufferExtension(const std::string& name)
{
    // Matched like the wildcard "*.pgb" of the RIP's own system: without regard to case.
    return name.size() >= 4 && SameTextIgnoringCase(std::string_view(name).substr(name.size() - 4), ".pgb");
}

TFolderListing ListPageBuffers(const std::string& folder)
{
    TFolderListing listing;
    // An unconfigured folder is no folder at all: listing it must not look
    // like an empty folder, which would empty the catalogue.
    if (folder.empty()) {
        listing.Failed = true;
        return listing;
    }
    std::error_code error;
    std::filesystem::directory_iterator entries(WithSingleTrailingBackslash(folder), error);
    if (error) {
        listing.Failed = true;
        return listing;
    }
    for (auto entry = std::filesystem::begin(entries); entry != std::filesystem::end(entries); entry.increment(error)) {
        if (error) {
            listing.Failed = true;
            break;
        }
        const std::string name = entry->path().filename().string();
        std::error_code typeError;
        if (HasPageBufferExtension(name) && entry->is_regular_file(typeError))
            listing.Names.push_back(name);
    }
    return listing;
}

// What the catalogue records of one page buffer, read before any row is
// written: the scan's rows are then written in one transaction, without a
// file read (a slow share) holding up the task threads' statements.
struct TScannedPlate {
    std::string FileName;
    std::string JobTitle;
    int JobNumber = 0;
    int PageNumber = 0;
    int XResolution = 0;
    int YResolution = 0;
    bool ImageNegate = false;
    bool MarginNegate = false;
    int ImageWidth = 0;
    int ImageHeight = 0;
    int DataWidth = 0;
    std::string ColorName;
    std::vector<std::uint16_t> ColorValues;
};

TScannedPlate ScannedPlate(const TPGBObject& plate, const std::string& fileName)
{
    return {fileName,          plate.GetJobTitle(), plate.JobNumber,    plate.PageNumber, plate.XResolution,
            plate.YResolution, plate.ImageNegate,   plate.MarginNegate, plate.ImageWidth, plate.ImageHeight,
            plate.DataWidth,   plate.ColorName,     plate.ColorValues};
}

// The job and page of a page buffer that cannot be read whole.
struct TSalvagedPlace {
    std::optional<int> JobNumber;
    std::optional<int> PageNumber;
};

std::optional<int> DecimalNumber(std::string_view text)
{
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return number;
}

// The header lines before the damage: "/JobNumber" and "/PageNumber" where
// they were written (the last of each, as the reader takes it), reading no
// more than the first 64 KiB of the file.
TSalvagedPlace SalvageFromHeader(const std::string& path)
{
    constexpr std::size_t HeaderBytes = 64 * 1024;
    TSalvagedPlace place;
    std::ifstream in(path, std::ios::binary);
    std::string bytes(HeaderBytes, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos)
            break;  // a last line cut short may have lost digits
        const std::string line = Trimmed(std::string_view(bytes).substr(start, end - start));
        start = end + 1;
        if (line == "pgbimage")
            break;
        const std::size_t gap = line.find_first_of("\t ");
        if (gap == std::string::npos)
            continue;
        const std::string key = line.substr(0, gap);
        const std::optional<int> value = DecimalNumber(Trimmed(line.substr(gap + 1)));
        if (key == "/JobNumber" && value)
            place.JobNumber = value;
        else if (key == "/PageNumber" && value)
            place.PageNumber = value;
    }
    return place;
}

// "<job>-<page>-<colorant>.pgb", as the RIP names its page buffers.
TSalvagedPlace SalvageFromName(const std::string& name)
{
    TSalvagedPlace place;
    const std::size_t first = name.find('-');
    const std::size_t second = first == std::string::npos ? first : name.find('-', first + 1);
    if (second == std::string::npos || second + 1 >= name.size() - 4)
        return place;
    place.JobNumber = DecimalNumber(std::string_view(name).substr(0, first));
    place.PageNumber = DecimalNumber(std::string_view(name).substr(first + 1, second - first - 1));
    if (!place.JobNumber)
        place.PageNumber.reset();
    return place;
}

// The job and page of a damaged page buffer: from its header where the
// lines before the damage tell, else from its name.
TSalvagedPlace SalvagedPlace(const std::string& folder, const std::string& name)
{
    TSalvagedPlace place = SalvageFromHeader(folder + name);
    const TSalvagedPlace named = SalvageFromName(name);
    if (!place.JobNumber) {
        place.JobNumber = named.JobNumber;
        place.PageNumber = place.PageNumber ? place.PageNumber : named.PageNumber;
    } else if (!place.PageNumber && named.JobNumber == place.JobNumber) {
        place.PageNumber = named.PageNumber;
    }
    return place;
}

// Collects the non-empty references of one column of a queue table.
void AddReferences(TCatalogueConnection& catalogue, const std::string& statement, const std::string& column,
                   std::set<std::string>& keep)
{
    TRecordSet rows;
    OpenQuery(catalogue, rows, statement);
    for (; !rows.Eof(); rows.MoveNext()) {
        const std::string reference = FieldValue(rows, column);
        if (!reference.empty())
            keep.insert(reference);
    }
    CloseQuery(rows);
}

// Runs an insert in a transaction of its own; a failure is rolled back and
// skipped without a message.
void InsertInTransaction(TCatalogueConnection& catalogue, const std::string& statement)
{
    try {
        InTransaction(catalogue, [&] { ExecuteStatement(catalogue, statement); });
    } catch (const std::exception&) {
        // Only this row's level was undone: the scan's own transaction around it goes on.
    }
}

// Hands out the unique ids of one scan: distinct and increasing, and after
// the catalogue's highest, so a clock set back never reaches an id again.
class TUniqueIDIssuer {
public:
    explicit TUniqueIDIssuer(TCatalogueConnection& catalogue) : Catalogue(catalogue) {}

    std::string Next()
    {
        if (!Started) {
            Last = HighestCatalogued();
            Started = true;
        }
        Last = NextUniqueID(LocalNow(), Last);
        return Last;
    }

private:
    std::string HighestCatalogued() const
    {
        TRecordSet rows;
        OpenQuery(Catalogue, rows, "select max(JobListUniqueID) as LastUniqueID from JobList");
        const std::string highest = rows.Eof() ? std::string() : FieldValue(rows, "LastUniqueID");
        CloseQuery(rows);
        return UniqueIDMoment(highest) ? highest : std::string();
    }

    TCatalogueConnection& Catalogue;
    bool Started = false;
    std::string Last;
};

std::string Flag(bool value)
{
    return value ? "1" : "0";
}

void CatalogueJob(TCatalogueConnection& catalogue, const TScannedPlate& plate, TUniqueIDIssuer& uniqueIDs)
{
    const std::string reference = std::to_string(plate.JobNumber);
    if (StatementReturnsRows(catalogue, "select * from JobList where JobListReference = " + reference))
        return;
    const std::string uniqueID = uniqueIDs.Next();
    InsertInTransaction(
        catalogue,
        "insert into JobList (JobListName, JobListCustomerID, JobListStatus, JobListReference, JobListXResolution, "
        "JobListYResolution, JobListImageNegate, JobListMarginNegate, JobListImageWidth, JobListImageHeight, "
        "JobListUniqueID, JobListDataWidth,JobListPageCount, JobListSecret) values (" +
            QuoteText(plate.JobTitle) + ", 0, " + QuoteText("new") + ", " + reference + ", " +
            std::to_string(plate.XResolution) + ", " + std::to_string(plate.YResolution) + ", " +
            Flag(plate.ImageNegate) + ", " + Flag(plate.MarginNegate) + ", " + std::to_string(plate.ImageWidth) + ", " +
            std::to_string(plate.ImageHeight) + ", " + QuoteText(uniqueID) + ", " + std::to_string(plate.DataWidth) +
            ", " + QuoteText("1") + ", " + QuoteText(MakeJobSecret()) + ")");
}

// Catalogues a plate; a file whose job, page and colour already have a row
// from another file is left out, and the other file's name is returned.
std::optional<std::string> CataloguePlate(TCatalogueConnection& catalogue, const TScannedPlate& plate)
{
    const std::string reference = std::to_string(plate.JobNumber);
    const std::string page = std::to_string(plate.PageNumber);
    TRecordSet rows;
    OpenQuery(catalogue, rows,
              "select * from PlateList where PlateListJobReference = " + reference +
                  " and PlateListPageNumber = " + page + " and PlateListPlateColor = " + QuoteText(plate.ColorName));
    const std::optional<std::string> catalogued =
        rows.Eof() ? std::nullopt : std::optional<std::string>(FieldValue(rows, "PlateListSource"));
    CloseQuery(rows);
    if (catalogued)
        return *catalogued == plate.FileName ? std::nullopt : catalogued;
    InsertInTransaction(
        catalogue, "insert into PlateList (PlateListJobReference, PlateListPageNumber, PlateListPlateColor, "
                   "PlateListSource, PlateListPlateColorValue) values (" +
                       reference + ", " + page + ", " + QuoteText(plate.ColorName) + ", " + QuoteText(plate.FileName) +
                       ", " + std::to_string(PackedColorValue(plate.ColorValues)) + ")");
    return std::nullopt;
}

// Logs the plates of this scan that are one ink of one page under names
// that differ (in case): both are catalogued, and the master refuses them.
void LogSameInks(const std::vector<TScannedPlate>& plates, TStationLog& log)
{
    for (std::size_t i = 0; i < plates.size(); ++i)
        for (std::size_t j = i + 1; j < plates.size(); ++j) {
            const TScannedPlate& a = plates[i];
            const TScannedPlate& b = plates[j];
            if (a.JobNumber == b.JobNumber && a.PageNumber == b.PageNumber && a.ColorName != b.ColorName &&
                SameInk(a.ColorName, b.ColorName))
                log.Log("The page buffers " + a.FileName + " (" + a.ColorName + ") and " + b.FileName + " (" +
                        b.ColorName + ") are two " + UpperCase(a.ColorName) + " plates of page " +
                        std::to_string(a.PageNumber) + " of job " + std::to_string(a.JobNumber) +
                        ": the job cannot be proofed while both are there");
        }
}

std::string Truncated(const std::string& text)
{
    return text.substr(0, MaxNodeNameLength);
}

TJobTreeNode* FindJobNode(TJobTree& tree, const std::string& name, std::int32_t reference)
{
    for (TJobTreeNode& node : tree.Jobs)
        if (node.Data.Kind == JobTreeNodeData::Job && node.Data.Name == name && node.Data.Reference == reference)
            return &node;
    return nullptr;
}

// The swatch colour is entry 239 of a table holding just this spot colour.
int AddSpotSwatch(TJobTree& tree, TColorTableGenerator& generator, const std::string& colorName,
                  std::int32_t packedValue)
{
    const auto value = static_cast<std::uint32_t>(packedValue);
    generator.Clear();
    generator.AddSpotColor(TSpotColor{colorName, static_cast<std::uint8_t>(value >> 24),
                                      static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                                      static_cast<std::uint8_t>(value)});
    try {
        generator.BuildTable();
    } catch (const EColorProfileError&) {
        // The table stays zeroed: the swatch is black. The configuration check
        // has reported the profile, and the tree still shows the plate.
    }
    const TColorTableEntry colour = generator.ColorTable()[239];
    return tree.AddSwatch(DrawSwatch(colour.R, colour.G, colour.B));
}

void AddTreeRow(TJobTree& tree, TColorTableGenerator& generator, const TRecordSet& row)
{
    const std::int32_t jobID = ValueAsInteger(FieldValue(row, "JobListID"), 0);
    const std::string name = Truncated(ValueAsText(FieldValue(row, "JobListName"), "Untitled"));
    const std::int32_t reference = ValueAsInteger(FieldValue(row, "JobListReference"), 0);
    const std::int32_t page = ValueAsInteger(FieldValue(row, "PlateListPageNumber"), 0);
    const std::string colorName = Truncated(ValueAsText(FieldValue(row, "PlateListPlateColor"), "unknown"));
    const std::int32_t xResolution = ValueAsInteger(FieldValue(row, "JobListXResolution"), 0);
    const std::int32_t yResolution = ValueAsInteger(FieldValue(row, "JobListYResolution"), 0);
    const std::string uniqueID = FieldValue(row, "JobListUniqueID");

    int image = PlateImageIndex(colorName);
    if (image == OtherPlateImage) {
        const std::int32_t packedValue = ValueAsInteger(FieldValue(row, "PlateListPlateColorValue"), 0);
        if (packedValue != 0)
            image = AddSpotSwatch(tree, generator, colorName, packedValue);
    }

    TJobTreeNode* job = FindJobNode(tree, name, reference);
    if (!job) {
        TJobTreeNode node;
        node.Text = std::to_string(reference) + ") " + name + " (" + std::to_string(xResolution) + " x " +
                    std::to_string(yResolution) + ")" + " " + (uniqueID.empty() ? "" : "[" + uniqueID + "]");
        node.ImageIndex = node.SelectedIndex = JobCollapsedImage;
        node.Data = JobTreeNodeData{JobTreeNodeData::Job, reference, name, jobID, 1, 0};
        tree.Jobs.push_back(std::move(node));
        job = &tree.Jobs.back();
    }

    TJobTreeNode plate;
    plate.Text = std::to_string(page) + ") " + colorName;
    plate.ImageIndex = plate.SelectedIndex = image;
    plate.Data = JobTreeNodeData{JobTreeNodeData::Plate, reference, colorName, 0, 0, page};
    job->Children.push_back(std::move(plate));
    job->Data.PageCount = std::max(job->Data.PageCount, page);
}

bool SortsBefore(int (*compare)(const TJobTreeNode&, const TJobTreeNode&), const TJobTreeNode& left,
                 const TJobTreeNode& right)
{
    return compare(left, right) < 0;
}

}  // namespace

std::int32_t PackedColorValue(const std::vector<std::uint16_t>& colorValues)
{
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint8_t byte = i < colorValues.size() ? ColorValueToByte(colorValues[i]) : 0;
        packed = (packed << 8) | byte;
    }
    return static_cast<std::int32_t>(packed);
}

// 1. Collect the references to keep: every queued and processed job.
// 2. List "*.pgb" in the folder; read each header; catalogue new jobs and
//    plates of ColorType 1 and keep their references.
// 3. Prune the rows of every other job, or, for a folder without page
//    buffers and nothing kept, empty the job, plate and figure tables. A failed listing (logged)
//    or an unreadable page buffer prunes nothing.
bool ScanPageBufferFolder(TCatalogueConnection& catalogue, const TSettingsRecord& settings, TStationLog& log)
{
    std::set<std::string> keep;
    AddReferences(catalogue, "select * from QueueList", "QueueListJobReference", keep);
    AddReferences(catalogue, "select * from PostQueueList", "PostQueueListJobReference", keep);

    const std::string folder = settings.InputFolder.empty() ? "" : WithSingleTrailingBackslash(settings.InputFolder);
    const TFolderListing listing = ListPageBuffers(folder);
    bool namelessUnreadableSeen = false;
    std::vector<TScannedPlate> plates;
    std::vector<TPlateFault> faults;
    for (const std::string& name : listing.Names) {
        try {
            const TPGBObject plate(folder + name);
            if (plate.ColorType == 1)
                plates.push_back(ScannedPlate(plate, name));
        } catch (const std::exception& error) {
            // Often a file the RIP is still writing, but it may be one of the
            // job's plates for good: until it reads whole its job has a plate
            // the catalogue cannot show, and must not be proofed without it.
            const TSalvagedPlace place = SalvagedPlace(folder, name);
            std::string line = "Could not read the page buffer " + name + ": " + error.what();
            if (place.JobNumber) {
                faults.push_back({*place.JobNumber, place.PageNumber.value_or(0), name,
                                  std::string("it could not be read: ") + error.what()});
                keep.insert(std::to_string(*place.JobNumber));
                line += ". Job " + std::to_string(*place.JobNumber) +
                        (place.PageNumber ? " (page " + std::to_string(*place.PageNumber) + ")" : std::string()) +
                        " cannot be proofed until it can be read";
            } else {
                line += ". Neither its header nor its name tells its job";
                namelessUnreadableSeen = true;
            }
            log.Log(line);
        }
    }
    LogSameInks(plates, log);
    // One transaction for the scan's rows (each insert a savepoint of its
    // own that fails alone): a commit per row would cost a disk flush each.
    InTransaction(catalogue, [&] {
        TUniqueIDIssuer uniqueIDs(catalogue);
        for (const TScannedPlate& plate : plates) {
            CatalogueJob(catalogue, plate, uniqueIDs);
            if (const std::optional<std::string> other = CataloguePlate(catalogue, plate)) {
                const std::string place =
                    "page " + std::to_string(plate.PageNumber) + " of job " + std::to_string(plate.JobNumber);
                faults.push_back({plate.JobNumber, plate.PageNumber, plate.FileName,
                                  "it is a second " + plate.ColorName + " plate of " + place + " beside " + *other});
                log.Log("The page buffer " + plate.FileName + " is a second " + plate.ColorName + " plate of " + place +
                        " beside " + *other + ": the job cannot be proofed while both are there");
            }
            keep.insert(std::to_string(plate.JobNumber));
        }
        // What an unlisted folder showed before stays what is known of it.
        if (!listing.Failed)
            ReplacePlateFaults(catalogue, faults);
    });

    if (listing.Failed) {
        // An unmounted share is not an empty folder: every job's rows stay.
        log.Log("Could not get the directory listing for the page buffer folder");
        return false;
    }
    if (namelessUnreadableSeen)
        return true;  // it may be the only file of a job whose rows must stay
    const std::string list = JoinedWithCommas(keep);
    TRecordSet rows;
    if (!list.empty()) {
        OpenQuery(catalogue, rows, "delete from JobList where not JobListReference in (" + list + ")");
        OpenQuery(catalogue, rows, "delete from PlateList where not PlateListJobReference in (" + list + ")");
        OpenQuery(catalogue, rows, "delete from CoverageList where not CoverageListJobReference in (" + list + ")");
        OpenQuery(catalogue, rows,
                  "delete from FingerprintList where not FingerprintListJobReference in (" + list + ")");
        OpenQuery(catalogue, rows,
                  "delete from PlateDigestList where not PlateDigestListJobReference in (" + list + ")");
        OpenQuery(catalogue, rows, "delete from AnswerList where not AnswerListJobReference in (" + list + ")");
        OpenQuery(catalogue, rows,
                  "delete from RoundChangeList where not RoundChangeListJobReference in (" + list + ")");
        OpenQuery(catalogue, rows,
                  "delete from VerifiedPlateList where not VerifiedPlateListJobReference in (" + list + ")");
    } else if (listing.Names.empty()) {
        OpenQuery(catalogue, rows, "delete * from JobList");
        OpenQuery(catalogue, rows, "delete * from PlateList");
        OpenQuery(catalogue, rows, "delete * from CoverageList");
        OpenQuery(catalogue, rows, "delete * from FingerprintList");
        OpenQuery(catalogue, rows, "delete * from PlateDigestList");
        OpenQuery(catalogue, rows, "delete * from AnswerList");
        OpenQuery(catalogue, rows, "delete * from RoundChangeList");
        OpenQuery(catalogue, rows, "delete * from VerifiedPlateList");
    }
    CloseQuery(rows);
    return true;
}

// 1. Empty the tree and scan the folder.
// 2. One row per plate of the inner join: find or add its job node, add the
//    plate node (with a swatch for a spot colour), raise the page count.
// 3. Sort the jobs, then each job's plates; write page counts above 1 back.
bool BuildJobTree(TCatalogueConnection& catalogue, TJobTree& tree, const TSettingsRecord& settings, TStationLog& log)
{
    tree.Jobs.clear();
    tree.Swatches.clear();
    const bool listed = ScanPageBufferFolder(catalogue, settings, log);

    TColorTableGenerator generator(settings.ProfilesValid ? settings.SourceColorProfile : "",
                                   settings.ProfilesValid ? settings.DestinationColorProfile : "");
    TRecordSet rows;
    OpenQuery(
        catalogue, rows,
        "select * from JobList inner join PlateList on JobList.JobListReference = PlateList.PlateListJobReference");
    for (; !rows.Eof(); rows.MoveNext())
        AddTreeRow(tree, generator, rows);
    CloseQuery(rows);

    // A file the scan left out is still one of its job's: shown under the job
    // so that the operator sees why it cannot be proofed.
    OpenQuery(catalogue, rows, "select * from PlateFaultList");
    for (; !rows.Eof(); rows.MoveNext()) {
        const std::int32_t reference = ValueAsInteger(FieldValue(rows, "PlateFaultListJobReference"), 0);
        const auto job = std::find_if(tree.Jobs.begin(), tree.Jobs.end(),
                                      [&](const TJobTreeNode& node) { return node.Data.Reference == reference; });
        if (job == tree.Jobs.end())
            continue;
        const std::int32_t page = ValueAsInteger(FieldValue(rows, "PlateFaultListPageNumber"), 0);
        const std::string source = Truncated(FieldValue(rows, "PlateFaultListSource"));
        TJobTreeNode plate;
        plate.Text = std::to_string(page) + ") " + source + " left out: " + FieldValue(rows, "PlateFaultListReason");
        plate.ImageIndex = plate.SelectedIndex = OtherPlateImage;
        plate.Data = JobTreeNodeData{JobTreeNodeData::Plate, reference, source, 0, 0, page};
        job->Children.push_back(std::move(plate));
    }
    CloseQuery(rows);

    std::stable_sort(tree.Jobs.begin(), tree.Jobs.end(),
                     [](const auto& left, const auto& right) { return SortsBefore(CompareJobNodes, left, right); });
    for (TJobTreeNode& job : tree.Jobs) {
        std::stable_sort(job.Children.begin(), job.Children.end(), [](const auto& left, const auto& right) {
            return SortsBefore(ComparePlateNodes, left, right);
        });
        if (job.Data.PageCount > 1)
            OpenQuery(catalogue, rows,
                      "update JobList set JobListPageCount = " + std::to_string(job.Data.PageCount) +
                          " where JobListReference = " + std::to_string(job.Data.Reference));
    }
    CloseQuery(rows);
    return listed;
}

}  // namespace tavrin
