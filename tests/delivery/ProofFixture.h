#pragma once

#include "catalogue/OutputLayout.h"
#include "tests/delivery/ServerProcess.h"

#include <string>
#include <vector>

namespace tavrin::testing {

// Fills a job folder with the kinds of files a web proof holds: the two
// pages, one tile database per zoom level (a few MB at the deepest) and the
// overview picture; returns their names. A proof made by the mastering,
// preview and web tasks can take its place: the tests only list the folder.
inline std::vector<std::string> WriteProofFixture(const std::string& jobFolder, std::size_t deepestTileBytes)
{
    std::vector<std::string> names = {"index.html", "print.html"};
    WriteBytes(jobFolder + "index.html", "<!DOCTYPE html>\n<html><head><title>Leaflet</title></head>\n</html>\n");
    WriteBytes(jobFolder + "print.html", "<!DOCTYPE html>\n<html><body onload=\"print()\"></body></html>\n");
    std::size_t bytes = deepestTileBytes;
    for (int zoom = 4; zoom >= 0; --zoom, bytes /= 4) {
        const std::string name = "tile" + std::to_string(zoom) + PageNumberText(1) + ".tdb";
        WriteBytes(jobFolder + name, NoiseBytes(bytes + 17, static_cast<unsigned>(zoom) + 100));
        names.push_back(name);
    }
    const std::string png = "\x89PNG\r\n\x1a\n" + NoiseBytes(9000, 7);
    WriteBytes(jobFolder + "overview" + PageNumberText(1) + ".png", png);
    names.push_back("overview" + PageNumberText(1) + ".png");
    return names;
}

}  // namespace tavrin::testing
