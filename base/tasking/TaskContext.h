#pragma once

#include "base/settings/SettingsRecord.h"

#include <cstdint>
#include <utility>

namespace tavrin {

class TCatalogueConnection;

// What one task works with, fixed when its job's chain starts: the settings
// as they were then (a change in the configuration dialog reaches the next
// chain, never a running one), the catalogue it reads and writes, and its
// job (0 for a task about several jobs). Tasks get everything from here and
// never reach for a process-wide record.
class TTaskContext {
public:
    TTaskContext(TSettingsRecord settings, TCatalogueConnection& catalogue, std::uint32_t jobReference)
        : SettingsAtStart(std::move(settings)), Connection(&catalogue), Job(jobReference)
    {
    }

    const TSettingsRecord& Settings() const { return SettingsAtStart; }
    TCatalogueConnection& Catalogue() const { return *Connection; }
    std::uint32_t JobReference() const { return Job; }

    // The same settings and catalogue for another job.
    TTaskContext ForJob(std::uint32_t jobReference) const { return {SettingsAtStart, *Connection, jobReference}; }

private:
    TSettingsRecord SettingsAtStart;
    TCatalogueConnection* Connection;
    std::uint32_t Job;
};

}  // namespace tavrin
