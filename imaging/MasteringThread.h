#pragma once

#include "shell/TaskThread.h"

#include <cstdint>
#include <string>

namespace tavrin {

struct TJobDetailRecord;

// The mastering task: writes one master image per page of a job into the
// output folder, composed from the page buffer files that PlateList names
// for the page. Reports log lines and total progress, and always ends with
// WM_MASTER_DONE; a failure (a plate file that cannot be read, a catalogue
// error) is logged with its reason first. The runner creates it, calls
// Start and releases it when the completion message arrives.
class TMasteringThread final : public TTaskThread {
public:
    // inputFolder ends with a path separator; empty profile paths stand for
    // the built-in CMYK profile and sRGB.
    TMasteringThread(TMessageTarget& target, std::string inputFolder, std::uint32_t jobReference,
                     std::string sourceColorProfile, std::string destinationColorProfile);

    const std::string InputFolder;
    const std::string SourceProfile;
    const std::string DestinationProfile;

protected:
    void Run() override;

private:
    struct TPagePlates;
    void MasterPage(const TJobDetailRecord& job, int page, TPagePlates& plates);
};

}  // namespace tavrin
