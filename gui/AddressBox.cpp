#include "gui/AddressBox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
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

QMenu* NewLinkMenu(QWidget* owner, const QString& name, const QString& address, const std::function<void()>& open)
{
    auto* menu = new QMenu(owner);
    menu->setObjectName(name);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction("Copy Link", menu, [address] { CopyAddress(address); });
    copy->setObjectName("CopyLinkItem");
    QAction* opening = menu->addAction("Open", menu, open);
    opening->setObjectName("OpenItem");
    copy->setEnabled(!address.isEmpty());
    opening->setEnabled(!address.isEmpty());
    return menu;
}

}  // namespace tavrin
