#pragma once

#include "base/catalogue/CatalogueAccess.h"
#include "base/settings/SharedSettings.h"
#include "base/tasking/TaskContext.h"

#include <cstdint>
#include <string>

namespace tavrin::testing {

// The context a task of the station gets for the job: the station's settings now and its catalogue.
inline TTaskContext StationContext(std::uint32_t jobReference)
{
    return {StationSettings().Copy(), *CatalogueConnection, jobReference};
}

// The same for the Master task, reading the page buffers in the folder with the built-in profiles.
inline TTaskContext MasteringContext(std::uint32_t jobReference, const std::string& inputFolder)
{
    TSettingsRecord settings = StationSettings().Copy();
    settings.InputFolder = inputFolder;
    settings.ProfilesValid = false;
    return {settings, *CatalogueConnection, jobReference};
}

}  // namespace tavrin::testing
