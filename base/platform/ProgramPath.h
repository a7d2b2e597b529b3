#pragma once

#include <string>

namespace tavrin {

// The full path of the program file as the system reports it, without a
// leading "\\?\" long-path prefix. The station's files are named after it.
std::string ProgramFilePath();

// Makes ProgramFilePath answer the given path from now on. The command-line
// front end uses it to work on the station's own files ("tavrin.ini", not
// "tavrin-cli.ini"); tests use it to work in a folder of their own.
void OverrideProgramFilePath(const std::string& path);

// The path of the running executable itself, whatever the override says.
std::string ExecutablePath();

}  // namespace tavrin
