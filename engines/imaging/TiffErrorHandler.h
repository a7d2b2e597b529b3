#pragma once

#include <string>

namespace tavrin {

// Makes libtiff report its errors as a message box, caption "Tiff Error",
// text: libtiff's message, a line feed, a carriage return and the module
// name; the box is shown on the thread that met the error. libtiff warnings
// are not reported. Call once at process entry, before any task runs; later
// calls change nothing.
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
