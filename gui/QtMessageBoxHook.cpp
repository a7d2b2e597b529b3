#include "gui/QtMessageBoxHook.h"

#include "base/platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace tavrin {

namespace {

void ShowModalBox(const QString& caption, const QString& text, TMessageBoxIcon icon)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    switch (icon) {
    case TMessageBoxIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case TMessageBoxIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case TMessageBoxIcon::Information: box.setIcon(QMessageBox::Information); break;
    }
    box.exec();
}

}  // namespace

void InstallQtMessageBoxHook()
{
    SetMessageBoxHook([](const std::string& caption, const std::string& text, TMessageBoxIcon icon) {
        const QString qCaption = QString::fromStdString(caption);
        const QString qText = QString::fromStdString(text);
        QCoreApplication* application = QCoreApplication::instance();
        if (!application)
            return;
        if (QThread::currentThread() == application->thread()) {
            ShowModalBox(qCaption, qText, icon);
            return;
        }
        QMetaObject::invokeMethod(
            application, [=] { ShowModalBox(qCaption, qText, icon); }, Qt::BlockingQueuedConnection);
    });
}

}  // namespace tavrin
