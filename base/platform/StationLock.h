#pragma once

#include <optional>
#include <string>

namespace tavrin {

// The exclusive hold of one process on a station's program folder: two
// processes that both change the catalogue and the output would scan, queue
// and run every task twice. The hold is a lock on a file in the folder, which
// the system releases when the process ends in whatever way, so a crash never
// leaves the station locked.
// The lock file of the station whose program file is ProgramFilePath():
// "tavrin.lock" beside "tavrin.ini".
std::string StationLockPath();

class TStationLock {
public:
    // Tries to take the hold of the folder whose lock file is lockPath.
    explicit TStationLock(const std::string& lockPath);
    // Gives the hold up.
    ~TStationLock();
    TStationLock(const TStationLock&) = delete;
    TStationLock& operator=(const TStationLock&) = delete;

    bool Held() const { return Handle >= 0 && Holding; }
    // The process that holds it when this one could not take it, if known.
    std::optional<long> Holder() const { return HolderProcess; }
    // Why the hold could not be taken, for the operator: "The station in
    // FOLDER is in use by process N." or the system's reason.
    const std::string& Refusal() const { return RefusalText; }

private:
    int Handle = -1;
    bool Holding = false;
    std::optional<long> HolderProcess;
    std::string RefusalText;
};

}  // namespace tavrin
