#pragma once

#include <exception>
#include <functional>

class QWidget;

namespace tavrin {

// The error box: the error's text, owned by the window, with the
// application's name as its caption.
void ShowErrorBox(QWidget* owner, const std::exception& error);

// Runs one operation of a window. An error it raises ends the operation and
// is shown in an error box with its text, owned by the window; the station
// goes on. Returns false when the operation raised.
bool RunReportingErrors(QWidget* owner, const std::function<void()>& operation);

}  // namespace tavrin
