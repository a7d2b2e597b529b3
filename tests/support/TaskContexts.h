#pragma once

#include "base/settings/SettingsRecord.h"
#include "base/tasking/TaskContext.h"

#include <cstdint>
#include <string>

namespace tavrin::testing {

// The context of the Master task for the job, reading the page buffers in the
// folder with the built-in profiles; the other settings as given.
inline TTaskContext MasteringContext(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                     const std::string& inputFolder, TSettingsRecord settings = {})
{
    settings.InputFolder = inputFolder;
    settings.ProfilesValid = false;
    return {settings, catalogue, jobReference};
}

}  // namespace tavrin::testing
