#include "gui/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>

namespace tavrin {

void ShowErrorBox(QWidget* owner, const std::exception& error)
{
    QMessageBox::critical(owner, QApplication::applicationName(), QString::fromStdString(error.what()));
}

bool RunReportingErrors(QWidget* owner, const std::function<void()>& operation)
{
    try {
        operation();
        return true;
    } catch (const std::exception& error) {
        ShowErrorBox(owner, error);
        return false;
    }
}

}  // namespace tavrin
