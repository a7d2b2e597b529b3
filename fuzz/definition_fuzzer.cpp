// Catalogue definition files of any content, applied to a catalogue in
// memory twice over: once creating, once updating what the first run made.
// Rejected lines and catalogue errors are fine; crashes and bad memory access
// are not.
#include "base/catalogue/CatalogueDefinition.h"

#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    tavrin::TCatalogueConnection catalogue;
    catalogue.Open(":memory:", true);
    for (int run = 0; run < 2; ++run) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            try {
                tavrin::ApplyColumnDefinition(catalogue, line);
            } catch (const tavrin::ECatalogueError&) {
            }
        }
    }
    return 0;
}
