#include "base/settings/SharedSettings.h"

namespace tavrin {

TSettingsRecord TSharedSettings::Copy() const
{
    std::lock_guard lock(Lock);
    return Record;
}

void TSharedSettings::Assign(const TSettingsRecord& record)
{
    std::lock_guard lock(Lock);
    Record = record;
}

void TSharedSettings::Update(const std::function<void(TSettingsRecord&)>& change)
{
    std::lock_guard lock(Lock);
    change(Record);
}

}  // namespace tavrin
