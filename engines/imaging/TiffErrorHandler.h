#pragma once

#include <string>

namespace tavrin {

// Makes libtiff keep its last error per thread (LastTiffError below) and,
// on a thread that captures message boxes (a task's, see TTaskThread),
// also report it as a box, caption "Tiff Error", text: libtiff's message, a
// line feed, a carriage return and the module name; the task turns it into
// a log line and its failure. On any other thread no box is shown: the
// caller raises with LastTiffFailure. libtiff warnings are not reported.
// Call once at process entry, before any task runs; later calls change
// nothing.
void InstallTiffErrorHandler();

// The last libtiff error met on the calling thread since ClearLastTiffError,
// as "module: message"; empty when there was none (or the handler is not
// installed). Lets a caller that raises name libtiff's reason.
std::string LastTiffError();
// The system error number at the moment libtiff reported that error (0 when
// none was set): the reason of a failed read or write of the file.
int LastTiffSystemError();
void ClearLastTiffError();
// The reason of the last failure as a text for a person: the system's
// error text with libtiff's message in brackets, or either alone, or
// "unknown error".
std::string LastTiffFailure();

}  // namespace tavrin
