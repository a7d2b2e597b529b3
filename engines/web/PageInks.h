#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

struct TJobDetailRecord;

// The viewer's ink data file, beside the viewer page in the job folder.
constexpr const char* PageInksFileName = "inks.js";

// One plate of a page as the viewer lists it.
struct TPlateInk {
    std::string Name;  // as on the plate
    int IndexBit = 0;  // the plate's bit in the master's palette index
    // The share of the page's pixels on which it is inked, with two decimals
    // ("23.41"); none when the master's figures were not kept.
    std::optional<std::string> Coverage;
};

// A master's colour table: red, green and blue of index 0, then of 1, up to 255.
using TPageColorTable = std::array<std::uint8_t, 3 * 256>;

// The colour tables of a job's pages by page number.
using TPageColorTables = std::map<std::int32_t, TPageColorTable>;

// One page: its plates in plate order (cyan, magenta, yellow, black, then
// the spot colours in their index order), and the value a plate's bit has
// in the master's index where the plate is inked; the master's colour
// table, which the viewer shows separations with, when it was read.
struct TPageInks {
    std::int32_t Page = 0;
    unsigned InkedBit = 0;
    std::vector<TPlateInk> Plates;
    std::optional<TPageColorTable> ColorTable;
};

// The ink data of the job's pages 1 to its page count: each page's figures
// from its last mastering; for a page without figures, the plates the master
// holds by the catalogue's plate rows, without coverage; each page's colour
// table from tables where it is there. Catalogue errors reach the caller.
std::vector<TPageInks> BuildPageInks(TCatalogueConnection& catalogue, const TJobDetailRecord& job,
                                     const TPageColorTables& tables = {});

// The file's one statement: "var pageinks=" and a JSON array of the pages,
// {"page":1,"inked":0,"plates":[{"name":"Cyan","bit":3,"coverage":23.41},...],
// "table":"ffffff..."}, then ";" and CR LF. Names are JSON strings in ASCII
// (JSONQuoted); coverage is null where there is none; the table is 1536
// lower-case hex digits (red, green, blue of index 0 to 255), left out for a
// page without one.
std::string PageInksScript(const std::vector<TPageInks>& pages);

// Writes the statement into fileName under its unfinished name and names it
// once whole. Raises std::runtime_error "Cannot write PATH: reason" (or the
// rename's error), leaving no unfinished file.
void WritePageInks(const std::string& fileName, const std::vector<TPageInks>& pages);

}  // namespace tavrin
