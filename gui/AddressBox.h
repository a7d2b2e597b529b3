#pragma once

#include <QString>

#include <functional>

class QMenu;
class QWidget;

namespace tavrin {

// Tells the operator that the desktop could not open an address, showing the
// address as selectable text with a button that copies it, so that it can be
// pasted into a browser by hand. Modal.
void ShowUnopenedAddress(QWidget* owner, const QString& address);

// Puts an address on the clipboard.
void CopyAddress(const QString& address);

// A row's menu with "Copy Link" (the address to the clipboard) and "Open"
// (the given action), both disabled without an address; owned by owner,
// deleted when closed.
QMenu* NewLinkMenu(QWidget* owner, const QString& name, const QString& address, const std::function<void()>& open);

}  // namespace tavrin
