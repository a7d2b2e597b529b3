#include "gui/AddressBox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

namespace tavrin {

void ShowUnopenedAddress(QWidget* owner, const QString& address)
{
    QMessageBox box(QMessageBox::Warning, "Cannot open the browser",
                    "The desktop could not open a browser for this address. Copy it into a browser:\n\n" + address,
                    QMessageBox::Close, owner);
    box.setObjectName("UnopenedAddressBox");
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPushButton* copy = box.addButton("Copy Link", QMessageBox::ActionRole);
    copy->setObjectName("CopyLinkBtn");
    box.exec();
    if (box.clickedButton() == copy)
        CopyAddress(address);
}

void CopyAddress(const QString& address)
{
    QGuiApplication::clipboard()->setText(address);
}

}  // namespace tavrin
