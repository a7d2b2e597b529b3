#include "base/platform/MessageBox.h"

#include <iostream>
#include <mutex>

namespace tavrin {

namespace {

std::mutex HookMutex;
TMessageBoxHook Hook;
thread_local TMessageBoxCapture* ThreadCapture = nullptr;

void WriteToStandardError(const std::string& caption, const std::string& text, TMessageBoxIcon)
{
    std::cerr << caption << ": " << text << std::endl;
}

}  // namespace

void SetMessageBoxHook(TMessageBoxHook hook)
{
    std::lock_guard lock(HookMutex);
    Hook = std::move(hook);
}

TMessageBoxCapture::TMessageBoxCapture(TMessageBoxHook capture) : Capture(std::move(capture)), Outer(ThreadCapture)
{
    ThreadCapture = this;
}

TMessageBoxCapture::~TMessageBoxCapture()
{
    ThreadCapture = Outer;
}

bool MessageBoxesCapturedOnThisThread()
{
    return ThreadCapture && ThreadCapture->Capture;
}

void ShowMessageBox(const std::string& caption, const std::string& text, TMessageBoxIcon icon)
{
    if (ThreadCapture && ThreadCapture->Capture) {
        ThreadCapture->Capture(caption, text, icon);
        return;
    }
    TMessageBoxHook hook;
    {
        // Copy out so that a blocking box never holds the lock.
        std::lock_guard lock(HookMutex);
        hook = Hook;
    }
    if (hook)
        hook(caption, text, icon);
    else
        WriteToStandardError(caption, text, icon);
}

}  // namespace tavrin
