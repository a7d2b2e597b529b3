#include "cli/CliContext.h"

#include "base/catalogue/OutputLayout.h"
#include "base/platform/MessageBox.h"

#include <iostream>

namespace tavrin {

TCliContext::TCliContext()
{
    Log.OnLine = [](const std::string& line) { std::cout << line << std::endl; };
    // The command's lines join the station's in the program folder's daily
    // log files: what was done to the catalogue is in one place, whoever did it.
    Log.KeepFilesIn(ProgramFolder() + "log");
    // Message boxes have no window here: the text goes to standard error, and
    // into the log through the queue, since workers may raise them.
    SetMessageBoxHook([this](const std::string& caption, const std::string& text, TMessageBoxIcon) {
        std::cerr << caption << ": " << text << std::endl;
        Messages.Post(TTaskMessage::Progress(WM_TOTAL_PROGRESS, -1, caption + ": " + text));
    });
}

}  // namespace tavrin
