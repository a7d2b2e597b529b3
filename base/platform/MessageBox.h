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

// True while a TMessageBoxCapture lives on the calling thread: a box shown
// now goes to it, never to the hook.
bool MessageBoxesCapturedOnThisThread();

// While an object of this class lives, boxes shown on the thread that made it
// go to its function instead of the hook: a task reports its own errors.
// Captures nest; the innermost one receives.
class TMessageBoxCapture {
public:
    explicit TMessageBoxCapture(TMessageBoxHook capture);
    ~TMessageBoxCapture();
    TMessageBoxCapture(const TMessageBoxCapture&) = delete;
    TMessageBoxCapture& operator=(const TMessageBoxCapture&) = delete;

private:
    friend void ShowMessageBox(const std::string&, const std::string&, TMessageBoxIcon);
    friend bool MessageBoxesCapturedOnThisThread();
    TMessageBoxHook Capture;
    TMessageBoxCapture* Outer;
};

}  // namespace tavrin
