#include "engines/imaging/PlateIndexBits.h"

#include "base/text/TextRules.h"
#include "engines/imaging/PlateCombination.h"

#include <algorithm>
#include <array>

namespace tavrin {

namespace {

constexpr std::array<const char*, 4> ProcessColorNames = {"CYAN", "MAGENTA", "YELLOW", "BLACK"};
constexpr std::size_t SpotPlanes = 4;

}  // namespace

std::vector<int> PlateIndexBits(const std::vector<std::string>& colorNames)
{
    std::vector<int> bits;
    std::array<bool, 4> processTaken{};
    std::size_t spots = 0;
    for (const std::string& name : colorNames) {
        const auto process = std::find(ProcessColorNames.begin(), ProcessColorNames.end(), UpperCase(name));
        int bit = -1;
        if (process != ProcessColorNames.end()) {
            const auto plane = static_cast<std::size_t>(process - ProcessColorNames.begin());
            if (!processTaken[plane])
                bit = PlaneIndexBit[plane];
            processTaken[plane] = true;
        } else if (spots < SpotPlanes) {
            bit = PlaneIndexBit[ProcessColorNames.size() + spots++];
        }
        bits.push_back(bit);
    }
    return bits;
}

std::size_t PlaneOfIndexBit(int bit)
{
    return static_cast<std::size_t>(std::find(PlaneIndexBit.begin(), PlaneIndexBit.end(), bit) - PlaneIndexBit.begin());
}

}  // namespace tavrin
