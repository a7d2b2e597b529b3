#include "cli/CliContext.h"

#include "base/catalogue/OutputLayout.h"
#include "base/platform/MessageBox.h"
#include "base/text/TerminalText.h"

#include <iostream>

namespace tavrin {

std::string WithoutCarriageReturns(std::string text)
{
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

TCliContext::TCliContext(bool readsOnly) : ReadsOnly(readsOnly)
{
    // A log line quotes job names, file names and servers' replies: one line
    // on the terminal each, whatever they hold.
    Log.OnLine = [](const std::string& line) { std::cout << TerminalText(line) << std::endl; };
    // The command's lines join the station's in the program folder's daily
    // log files: what was done to the catalogue is in one place, whoever did
    // it. A run that only reads did nothing to keep, and may not write.
    if (!ReadsOnly)
        Log.KeepFilesIn(ProgramFolder() + "log");
    // Message boxes have no window here: the text goes to standard error, and
    // into the log through the queue, since workers may raise them.
    SetMessageBoxHook([this](const std::string& caption, const std::string& text, TMessageBoxIcon) {
        std::cerr << TerminalLines(caption + ": " + WithoutCarriageReturns(text)) << std::endl;
        Messages.Post(TTaskMessage::Progress(WM_TOTAL_PROGRESS, -1, caption + ": " + text));
    });
}

}  // namespace tavrin
