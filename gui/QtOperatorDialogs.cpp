#include "gui/QtOperatorDialogs.h"

#include <QMessageBox>

namespace tavrin {

namespace {

QMessageBox::Icon BoxIcon(TDialogIcon icon)
{
    switch (icon) {
    case TDialogIcon::Warning: return QMessageBox::Warning;
    case TDialogIcon::Question: return QMessageBox::Question;
    case TDialogIcon::Error: return QMessageBox::Critical;
    case TDialogIcon::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

int ShowBox(QWidget* owner, const std::string& caption, const std::string& text, TDialogIcon icon,
            QMessageBox::StandardButtons buttons)
{
    QMessageBox box(BoxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text), buttons, owner);
    return box.exec();
}

}  // namespace

bool TQtOperatorDialogs::AskYesNo(const std::string& caption, const std::string& text, TDialogIcon icon)
{
    return ShowBox(Owner, caption, text, icon, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TQtOperatorDialogs::Tell(const std::string& caption, const std::string& text, TDialogIcon icon)
{
    ShowBox(Owner, caption, text, icon, QMessageBox::Ok);
}

}  // namespace tavrin
