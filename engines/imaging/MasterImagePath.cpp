#include "engines/imaging/MasterImagePath.h"

#include "base/catalogue/OutputLayout.h"

namespace tavrin {

std::string MasterImagePath(const std::string& uniqueID, int page)
{
    return OutputFolder() + CheckedUniqueID(uniqueID) + PageNumberText(page) + ".tif";
}

}  // namespace tavrin
