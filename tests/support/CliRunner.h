#pragma once

#include <cstdint>
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

// The same in a child whose files may not grow past limitBytes, with
// SIGXFSZ ignored: a write past the limit fails with "File too large", as on
// a full disk.
TCliResult RunProgramWithFileSizeLimit(const std::string& program, const std::string& arguments,
                                       std::uint64_t limitBytes);

// The same as another user and group (and no supplementary groups), for
// what file modes forbid: run as root, a program ignores them.
TCliResult RunProgramAsUser(const std::string& program, const std::string& arguments, unsigned user, unsigned group);

}  // namespace tavrin::testing
