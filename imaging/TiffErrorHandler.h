#pragma once

namespace tavrin {

// Makes libtiff report its errors as a message box, caption "Tiff Error",
// text: libtiff's message, a line feed, a carriage return and the module
// name; the box is shown on the thread that met the error. libtiff warnings
// are not reported. Call once at process entry, before any task runs; later
// calls change nothing.
void InstallTiffErrorHandler();

}  // namespace tavrin
