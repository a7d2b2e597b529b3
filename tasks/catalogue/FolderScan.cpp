#include "tasks/catalogue/FolderScan.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/UniqueIDs.h"
#include "base/pagebuffer/PGBObject.h"
#include "base/platform/LocalClock.h"
#include "base/settings/SettingsRecord.h"
#include "base/tasking/StationLog.h"
#include "base/text/TextRules.h"
#include "engines/imaging/ColorTableGenerator.h"
#include "engines/imaging/SpotColor.h"

#include <algorithm>
#include <filesystem>
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

// Collects the non-empty references of one column of a queue table.
void AddReferences(const std::string& statement, const std::string& column, std::set<std::string>& keep)
{
    TRecordSet rows;
    OpenQuery(CatalogueConnection.get(), rows, statement);
    for (; !rows.Eof(); rows.MoveNext()) {
        const std::string reference = FieldValue(rows, column);
        if (!reference.empty())
            keep.insert(reference);
    }
    CloseQuery(rows);
}

// Runs an insert in a transaction of its own; a failure is rolled back and
// skipped without a message.
void InsertInTransaction(const std::string& statement)
{
    TRecordSet rows;
    try {
        CatalogueConnection->BeginTrans();
        OpenQuery(CatalogueConnection.get(), rows, statement);
        CatalogueConnection->CommitTrans();
    } catch (const std::exception&) {
        try {
            CatalogueConnection->RollbackTrans();
        } catch (const std::exception&) {
        }
    }
    CloseQuery(rows);
}

// Hands out the unique ids of one scan: distinct and increasing, and after
// the catalogue's highest, so a clock set back never reaches an id again.
class TUniqueIDIssuer {
public:
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
    static std::string HighestCatalogued()
    {
        TRecordSet rows;
        OpenQuery(CatalogueConnection.get(), rows, "select max(JobListUniqueID) as LastUniqueID from JobList");
        const std::string highest = rows.Eof() ? std::string() : FieldValue(rows, "LastUniqueID");
        CloseQuery(rows);
        return UniqueIDMoment(highest) ? highest : std::string();
    }

    bool Started = false;
    std::string Last;
};

std::string Flag(bool value)
{
    return value ? "1" : "0";
}

void CatalogueJob(const TScannedPlate& plate, TUniqueIDIssuer& uniqueIDs)
{
    const std::string reference = std::to_string(plate.JobNumber);
    if (StatementReturnsRows("select * from JobList where JobListReference = " + reference))
        return;
    const std::string uniqueID = uniqueIDs.Next();
    InsertInTransaction(
        "insert into JobList (JobListName, JobListCustomerID, JobListStatus, JobListReference, JobListXResolution, "
        "JobListYResolution, JobListImageNegate, JobListMarginNegate, JobListImageWidth, JobListImageHeight, "
        "JobListUniqueID, JobListDataWidth,JobListPageCount, JobListSecret) values (" +
        QuoteText(plate.JobTitle) + ", 0, " + QuoteText("new") + ", " + reference + ", " +
        std::to_string(plate.XResolution) + ", " + std::to_string(plate.YResolution) + ", " + Flag(plate.ImageNegate) +
        ", " + Flag(plate.MarginNegate) + ", " + std::to_string(plate.ImageWidth) + ", " +
        std::to_string(plate.ImageHeight) + ", " + QuoteText(uniqueID) + ", " + std::to_string(plate.DataWidth) + ", " +
        QuoteText("1") + ", " + QuoteText(MakeJobSecret()) + ")");
}

void CataloguePlate(const TScannedPlate& plate)
{
    const std::string reference = std::to_string(plate.JobNumber);
    const std::string page = std::to_string(plate.PageNumber);
    if (StatementReturnsRows("select * from PlateList where PlateListJobReference = " + reference +
                             " and PlateListPageNumber = " + page +
                             " and PlateListPlateColor = " + QuoteText(plate.ColorName)))
        return;
    InsertInTransaction("insert into PlateList (PlateListJobReference, PlateListPageNumber, PlateListPlateColor, "
                        "PlateListSource, PlateListPlateColorValue) values (" +
                        reference + ", " + page + ", " + QuoteText(plate.ColorName) + ", " + QuoteText(plate.FileName) +
                        ", " + std::to_string(PackedColorValue(plate.ColorValues)) + ")");
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
    generator.BuildTable();
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
bool ScanPageBufferFolder(const TSettingsRecord& settings, TStationLog& log)
{
    std::set<std::string> keep;
    AddReferences("select * from QueueList", "QueueListJobReference", keep);
    AddReferences("select * from PostQueueList", "PostQueueListJobReference", keep);

    const std::string folder = settings.InputFolder.empty() ? "" : WithSingleTrailingBackslash(settings.InputFolder);
    const TFolderListing listing = ListPageBuffers(folder);
    bool unreadableSeen = false;
    std::vector<TScannedPlate> plates;
    for (const std::string& name : listing.Names) {
        try {
            const TPGBObject plate(folder + name);
            if (plate.ColorType == 1)
                plates.push_back(ScannedPlate(plate, name));
        } catch (const std::exception& error) {
            // Often a file the RIP is still writing: the next scan will see it whole.
            log.Log("Could not read the page buffer " + name + ": " + error.what());
            unreadableSeen = true;
        }
    }
    // One transaction for the scan's rows (each insert a savepoint of its
    // own that fails alone): a commit per row would cost a disk flush each.
    CatalogueConnection->BeginTrans();
    try {
        TUniqueIDIssuer uniqueIDs;
        for (const TScannedPlate& plate : plates) {
            CatalogueJob(plate, uniqueIDs);
            CataloguePlate(plate);
            keep.insert(std::to_string(plate.JobNumber));
        }
        CatalogueConnection->CommitTrans();
    } catch (...) {
        try {
            CatalogueConnection->RollbackTrans();
        } catch (const std::exception&) {
            // The engine already ended the transaction; the first error says why.
        }
        throw;
    }

    if (listing.Failed) {
        // An unmounted share is not an empty folder: every job's rows stay.
        log.Log("Could not get the directory listing for the page buffer folder");
        return false;
    }
    if (unreadableSeen)
        return true;  // a job whose only file was unreadable must keep its rows
    const std::string list = JoinedWithCommas(keep);
    TRecordSet rows;
    if (!list.empty()) {
        OpenQuery(CatalogueConnection.get(), rows, "delete from JobList where not JobListReference in (" + list + ")");
        OpenQuery(CatalogueConnection.get(), rows,
                  "delete from PlateList where not PlateListJobReference in (" + list + ")");
        OpenQuery(CatalogueConnection.get(), rows,
                  "delete from CoverageList where not CoverageListJobReference in (" + list + ")");
        OpenQuery(CatalogueConnection.get(), rows,
                  "delete from FingerprintList where not FingerprintListJobReference in (" + list + ")");
        OpenQuery(CatalogueConnection.get(), rows,
                  "delete from AnswerList where not AnswerListJobReference in (" + list + ")");
    } else if (listing.Names.empty()) {
        OpenQuery(CatalogueConnection.get(), rows, "delete * from JobList");
        OpenQuery(CatalogueConnection.get(), rows, "delete * from PlateList");
        OpenQuery(CatalogueConnection.get(), rows, "delete * from CoverageList");
        OpenQuery(CatalogueConnection.get(), rows, "delete * from FingerprintList");
        OpenQuery(CatalogueConnection.get(), rows, "delete * from AnswerList");
    }
    CloseQuery(rows);
    return true;
}

// 1. Empty the tree and scan the folder.
// 2. One row per plate of the inner join: find or add its job node, add the
//    plate node (with a swatch for a spot colour), raise the page count.
// 3. Sort the jobs, then each job's plates; write page counts above 1 back.
bool BuildJobTree(TJobTree& tree, const TSettingsRecord& settings, TStationLog& log)
{
    tree.Jobs.clear();
    tree.Swatches.clear();
    const bool listed = ScanPageBufferFolder(settings, log);

    TColorTableGenerator generator(settings.ProfilesValid ? settings.SourceColorProfile : "",
                                   settings.ProfilesValid ? settings.DestinationColorProfile : "");
    TRecordSet rows;
    OpenQuery(
        CatalogueConnection.get(), rows,
        "select * from JobList inner join PlateList on JobList.JobListReference = PlateList.PlateListJobReference");
    for (; !rows.Eof(); rows.MoveNext())
        AddTreeRow(tree, generator, rows);
    CloseQuery(rows);

    std::stable_sort(tree.Jobs.begin(), tree.Jobs.end(),
                     [](const auto& left, const auto& right) { return SortsBefore(CompareJobNodes, left, right); });
    for (TJobTreeNode& job : tree.Jobs) {
        std::stable_sort(job.Children.begin(), job.Children.end(), [](const auto& left, const auto& right) {
            return SortsBefore(ComparePlateNodes, left, right);
        });
        if (job.Data.PageCount > 1)
            OpenQuery(CatalogueConnection.get(), rows,
                      "update JobList set JobListPageCount = " + std::to_string(job.Data.PageCount) +
                          " where JobListReference = " + std::to_string(job.Data.Reference));
    }
    CloseQuery(rows);
    return listed;
}

}  // namespace tavrin
