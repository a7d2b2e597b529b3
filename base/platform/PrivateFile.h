#pragma once

#include <cstdio>
#include <string>

namespace tavrin {

// Files that hold the shop's secrets or its customers' words (the settings
// with their passwords, the catalogue, the logs) are made readable and
// writable by their owner only. An existing file keeps the access it has:
// the shop may have chosen it.

// Creates the file empty when it does not exist, with owner-only access.
// Raises std::runtime_error naming the path and the system's reason.
void CreatePrivateFile(const std::string& path);

// Opens the file for appending, creating it with owner-only access when it
// does not exist. Null, with errno set, when it cannot.
std::FILE* OpenPrivateFileForAppend(const std::string& path);

// The access bits a new private file gets.
constexpr unsigned PrivateFileMode = 0600;

}  // namespace tavrin
