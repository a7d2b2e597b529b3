#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

class TCatalogueConnection;

// One JobList row. ID 0 stands for a job that does not exist.
struct TJobDetailRecord {
    std::int32_t ID = 0;
    std::string Name;
    std::int32_t CustomerID = 0;
    std::string Status;
    std::int32_t Reference = 0;
    std::int32_t XResolution = 0;
    std::int32_t YResolution = 0;
    std::int32_t ImageNegate = 0;
    std::int32_t MarginNegate = 0;
    std::string UniqueID;
    std::int32_t ImageWidth = 0;
    std::int32_t ImageHeight = 0;
    std::int32_t PageCount = 0;
    std::int32_t DataWidth = 0;
    // Empty for a job catalogued before jobs had secrets (see JobSecret.h).
    std::string Secret;
};

// Fills the record from the job's row; without a row every number is 0 and every text empty. A NULL name reads
// "Untitled", a NULL status "unknown". Catalogue errors reach the caller.
void LoadJobDetail(TCatalogueConnection& catalogue, std::int32_t reference, TJobDetailRecord& record);

// The job folder (output folder + UniqueID + separator), or "" when the job
// has no row or no UniqueID. Catalogue errors reach the caller.
std::string JobOutputFolder(TCatalogueConnection& catalogue, std::int32_t reference);

}  // namespace tavrin
