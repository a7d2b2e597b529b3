#pragma once

#include <string>

namespace tavrin::testing {

struct TCliResult {
    int ExitStatus = -1;
    std::string Output;  // standard output
    std::string Errors;  // standard error
};

// Runs a program of the built program folder (TAVRIN_STATION_DIR) with the
// given shell-quoted arguments and collects what it printed.
TCliResult RunProgram(const std::string& program, const std::string& arguments);

}  // namespace tavrin::testing
