#pragma once

#include <string>

namespace tavrin::testing {

// A file of the source tree by its path from the root ("tests/delivery/ftp_server.py").
std::string SourcePath(const std::string& relative);

// The page buffer writer program built beside the tests.
std::string PgbwriteProgram();

// The built program folder (build/station/), for programs that run outside CTest.
std::string BuiltProgramFolder();

}  // namespace tavrin::testing
