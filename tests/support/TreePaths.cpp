#include "tests/support/TreePaths.h"

namespace tavrin::testing {

// The folders come in as definitions of this file alone: every other test
// file compiles the same in any clone, so the compiler cache serves them all.
std::string SourcePath(const std::string& relative)
{
    return std::string(TAVRIN_SOURCE_DIR) + "/" + relative;
}

std::string PgbwriteProgram()
{
    return PGBWRITE_PROGRAM;
}

std::string BuiltProgramFolder()
{
    return TAVRIN_STATION_DIR;
}

}  // namespace tavrin::testing
