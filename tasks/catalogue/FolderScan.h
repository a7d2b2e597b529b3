#pragma once

#include "base/catalogue/JobTree.h"

#include <cstdint>
#include <vector>

namespace tavrin {

class TCatalogueConnection;
struct TSettingsRecord;
class TStationLog;

// Learns the jobs of the page buffer folder (settings' InputFolder): every
// new job goes into JobList, every new plate into PlateList; rows of jobs
// whose files are gone (their ink figures too) are pruned unless the job is
// queued or processed.
// Existing rows are never updated. A page buffer that cannot be read, or a
// second file of a job, page and colour that has a row, is logged and kept in
// PlateFaultList (rewritten by every scan that lists the folder) against its
// job, which mastering then refuses; the job and page of a damaged file come
// from the header lines before the damage, else from a file name
// "<job>-<page>-<colorant>.pgb". A damaged file that names no job prunes
// nothing in this scan. Catalogue errors other than a failed insert are
// raised. Returns false when the folder could not be listed (logged; nothing
// was pruned). Main thread.
bool ScanPageBufferFolder(TCatalogueConnection& catalogue, const TSettingsRecord& settings, TStationLog& log);

// Empties the tree, scans the folder, and fills the tree from the catalogue:
// one node per job with its plates (and the files the scan left out of it,
// as "PAGE) FILE left out: REASON"), swatches for spot colours, sorted. Page
// counts above 1 are written back to JobList. Raises what the scan raises
// (the tree then stays empty). Returns false when the folder could not be
// listed: the tree then shows the jobs the catalogue already had.
bool BuildJobTree(TCatalogueConnection& catalogue, TJobTree& tree, const TSettingsRecord& settings, TStationLog& log);

// The first four header colour values packed into one signed number, the
// first value's byte the most significant; missing values count as 0.
std::int32_t PackedColorValue(const std::vector<std::uint16_t>& colorValues);

}  // namespace tavrin
