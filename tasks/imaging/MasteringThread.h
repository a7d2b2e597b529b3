#pragma once

#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskThread.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

struct TJobDetailRecord;
struct TMasterGeometry;
struct TPagePlate;

// The mastering task: writes one master image for each page 1 to the job's
// page count into the output folder, composed from the page buffer files
// that PlateList names for the page, and keeps in the catalogue on how many
// of the page's pixels each plate in the master is inked (counted while the
// lines are composed). First it removes the job's proof pages and unfinished
// files, and before each page the page's old master, overview, tile
// databases and ink figures. Every page's plate set is checked as a whole
// before any master is written (PagePlateProblems: a file that cannot be
// read or that the scan left out, a header that cannot describe its rows,
// one ink twice, more plates than a master holds, plates or pages of
// different sizes); any problem fails the job naming the page and the files,
// and then no page keeps a master or anything made from one. Each page's set
// is read and checked again right before its master is made. It also fails,
// naming what failed, for a job not in the catalogue, a band below a
// plate's MaxBand that cannot be read, or a master that cannot be written
// whole or whose figures cannot be stored; the failing page is left without
// any of its files. Reports log
// lines and total progress, and always ends with WM_MASTER_DONE. The runner
// creates it, calls Start and releases it when the completion message
// arrives.
class TMasteringThread final : public TTaskThread {
public:
    // The page buffers come from the settings' input folder; the configured
    // profiles are used only when the configuration check accepted them, and
    // the built-in CMYK profile and sRGB otherwise.
    TMasteringThread(TMessageTarget& target, const TTaskContext& context);

    const std::string InputFolder;
    const std::string SourceProfile;
    const std::string DestinationProfile;

protected:
    void Run() override;

private:
    struct TPagePlates;
    // Reads and checks the plates of one page of pages; read receives them.
    std::vector<std::string> PageProblems(int page, int pages, const TMasterGeometry& geometry,
                                          std::vector<TPagePlate>* read) const;
    // Fails with the first problem, the others logged before it.
    void FailWith(const std::vector<std::string>& problems);
    void MasterPage(const TJobDetailRecord& job, int page, TPagePlates& plates);

    TCatalogueConnection& Catalogue;
};

}  // namespace tavrin
