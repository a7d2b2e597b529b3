#pragma once

#include "base/catalogue/OutputLayout.h"

#include <exception>
#include <stdexcept>
#include <string>

namespace tavrin {

// Writes a data script of the proof (inks.js, proof.js, rounds.js) as the
// file fileName, under its unfinished name until whole. The text is built
// first: an encoder that runs out of memory does not know the file, so its
// error is raised as "Cannot write PATH: reason"; writing raises as
// WriteWholeFile does.
template <typename TBuildScript>
void WriteDataScript(const std::string& fileName, TBuildScript buildScript)
{
    std::string script;
    try {
        script = buildScript();
    } catch (const std::exception& error) {
        throw std::runtime_error("Cannot write " + fileName + ": " + error.what());
    }
    WriteWholeFile(fileName, script.data(), script.size());
}

}  // namespace tavrin
