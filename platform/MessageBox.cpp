#include "platform/MessageBox.h"

#include <iostream>
#include <mutex>

namespace tavrin {

namespace {

std::mutex HookMutex;
TMessageBoxHook Hook;

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

void ShowMessageBox(const std::string& caption, const std::string& text, TMessageBoxIcon icon)
{
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
