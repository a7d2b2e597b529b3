#pragma once

#include <functional>
#include <string>

namespace tavrin {

enum class TMessageBoxIcon { Error, Warning, Information };

// Shows a message box; callable from any thread. The hook decides how: the
// station shows a modal box on the main thread and blocks the calling worker
// until the operator dismisses it; headless front ends write the text to
// their log and to standard error.
using TMessageBoxHook = std::function<void(const std::string& caption, const std::string& text, TMessageBoxIcon icon)>;

// Installs the hook; an empty hook restores the default (standard error).
void SetMessageBoxHook(TMessageBoxHook hook);

void ShowMessageBox(const std::string& caption, const std::string& text, TMessageBoxIcon icon);

}  // namespace tavrin
