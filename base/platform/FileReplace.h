#pragma once

#include <string>

namespace tavrin {

// Replaces the file's contents with the text so that a crash at any moment
// leaves either the old file or the new one, never an empty or half-written
// one: the text goes to a temporary file beside it, is flushed to disk and
// renamed over the file. A new file is readable by its owner only; one that
// exists keeps its access. A symbolic link is followed: its target is
// replaced and the link stays. Raises std::runtime_error when it cannot.
void ReplaceFileContents(const std::string& path, const std::string& text);

}  // namespace tavrin
