#pragma once

#include <QString>

class QWidget;

namespace tavrin {

// Tells the operator that the desktop could not open an address, showing the
// address as selectable text with a button that copies it, so that it can be
// pasted into a browser by hand. Modal.
void ShowUnopenedAddress(QWidget* owner, const QString& address);

// Puts an address on the clipboard.
void CopyAddress(const QString& address);

}  // namespace tavrin
