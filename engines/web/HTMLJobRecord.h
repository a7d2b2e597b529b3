#pragma once

#include "base/platform/LocalClock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

struct TJobDetailRecord;
struct TSettingsRecord;

// A moment as days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;

// Everything job-specific that the viewer page shows.
struct THTMLJobRecord {
    std::string JobName;
    std::string JobID;  // the UniqueID, also the name of the job folder
    std::uint32_t NumberOfPages = 0;
    std::uint32_t XResolution = 0;
    std::uint32_t YResolution = 0;
    std::uint32_t MaxX = 0;       // page image width in pixels
    std::uint32_t MaxY = 0;       // page image height in pixels
    std::vector<double> Factors;  // scale factor of each zoom level, index = level
    std::string ReplyEmail;
    std::string ReplyEmailName;
    std::vector<std::string> Colors;
    TDateTime CreationDate = 0;
    std::string ApprovalText;  // HTML
    std::string HelpText;      // HTML
};

TDateTime DateTimeFromLocalTime(const TLocalTime& time);
TLocalTime LocalTimeFromDateTime(TDateTime moment);

// The five zoom level factors of a page of maxX x maxY pixels at the given
// resolution: 576 / max(maxX, maxY), then 96, 192 and 384 pixels per inch,
// then 1.0 (full resolution). A zero size or resolution gives factor 0 for
// the levels that divide by it.
std::vector<double> ProofFactors(std::uint32_t maxX, std::uint32_t maxY, std::uint32_t xResolution,
                                 std::uint32_t yResolution);

// Every line of a text file (CR LF or LF ends a line) followed by "<br>",
// all concatenated; "" when the path is empty or the file does not exist.
// Raises std::runtime_error when an existing file cannot be read.
std::string TextFileAsHTML(const std::string& path);

// The record the Web task gives the page generator: the job record's fields,
// the factors, the reply address (ReplyEmail and ReplyEmailName settings, or
// FromEmail for both when ReplyEmail is empty), the job's distinct non-empty
// plate colours in catalogue order, the local modification time of the page
// 1 master (or noMasterDate when there is none), the approval text file
// named by the settings (relative to the working directory) and the program
// folder's "help.txt". Catalogue errors reach the caller.
THTMLJobRecord BuildHTMLJobRecord(TCatalogueConnection& catalogue, const TJobDetailRecord& job,
                                  const TSettingsRecord& settings, TDateTime noMasterDate);

}  // namespace tavrin
