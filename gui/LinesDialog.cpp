#include "gui/LinesDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrin {

void TLinesDialog::ShowResult(const QString& heading, const QString& lines) const
{
    Heading->setText(heading);
    Text->setPlainText(lines);
    Busy->hide();
    Copy->setEnabled(true);
}

void TLinesDialog::ShowFailure(const QString& heading) const
{
    Heading->setText(heading);
    Busy->hide();
}

TLinesDialog NewLinesDialog(QWidget* owner, const QString& title, const QString& name, const QString& copyName)
{
    TLinesDialog parts;
    parts.Dialog = new QDialog(owner);
    parts.Dialog->setObjectName(name + "Dlg");
    parts.Dialog->setAttribute(Qt::WA_DeleteOnClose);
    parts.Dialog->setWindowTitle(title);
    parts.Heading = new QLabel(parts.Dialog);
    parts.Heading->setObjectName(name + "Heading");
    parts.Heading->setWordWrap(true);
    // Selectable, so that the operator can copy a line or all of them.
    parts.Text = new QPlainTextEdit(parts.Dialog);
    parts.Text->setObjectName(name + "Text");
    parts.Text->setReadOnly(true);
    parts.Text->setLineWrapMode(QPlainTextEdit::NoWrap);
    parts.Text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    parts.Busy = new QProgressBar(parts.Dialog);
    parts.Busy->setObjectName(name + "Busy");
    parts.Busy->setRange(0, 0);  // no end known: the bar only shows that it works
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, parts.Dialog);
    parts.Copy = buttons->addButton("Copy", QDialogButtonBox::ActionRole);
    parts.Copy->setObjectName(copyName);
    parts.Copy->setEnabled(false);
    const QPlainTextEdit* text = parts.Text;
    QObject::connect(parts.Copy, &QPushButton::clicked, parts.Dialog,
                     [text] { QApplication::clipboard()->setText(text->toPlainText()); });
    QObject::connect(buttons, &QDialogButtonBox::rejected, parts.Dialog, &QDialog::close);
    auto* layout = new QVBoxLayout(parts.Dialog);
    layout->addWidget(parts.Heading);
    layout->addWidget(parts.Text, 1);
    layout->addWidget(parts.Busy);
    layout->addWidget(buttons);
    parts.Dialog->resize(640, 320);
    return parts;
}

}  // namespace tavrin
