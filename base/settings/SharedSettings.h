#pragma once

#include "base/settings/SettingsRecord.h"

#include <functional>
#include <mutex>

namespace tavrin {

// The station's settings record (the station owns the one of the process).
// The main thread replaces it while worker threads run; each reader takes a
// copy under the lock, so no value is ever seen half written.
class TSharedSettings {
public:
    // A copy of the whole record.
    TSettingsRecord Copy() const;

    // Replaces the whole record.
    void Assign(const TSettingsRecord& record);

    // Changes fields in place under the lock (for instance ProfilesValid).
    void Update(const std::function<void(TSettingsRecord&)>& change);

private:
    mutable std::mutex Lock;
    TSettingsRecord Record;
};

}  // namespace tavrin
