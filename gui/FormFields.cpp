#include "gui/FormFields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace tavrin {

namespace {

QLabel* NewLabel(QWidget* parent, const QString& text)
{
    // As wide as its words at the desktop's font: a label on one line.
    return new QLabel(text, parent);
}

// An edit field wide enough for a typical path or host name at the desktop's font.
QLineEdit* NewFormEdit(QWidget* parent, const QString& name, const QString& hint)
{
    QLineEdit* edit = NewEdit(parent, name, hint);
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 40);
    return edit;
}

}  // namespace

QLineEdit* NewEdit(QWidget* parent, const QString& name, const QString& hint)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setToolTip(hint);
    return edit;
}

QPushButton* NewButton(QWidget* parent, const QString& name, const QString& caption, const QString& hint)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    return button;
}

QFormLayout* NewFormLayout(QWidget* parent)
{
    auto* form = new QFormLayout(parent);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setVerticalSpacing(4);
    form->setContentsMargins(6, 4, 6, 4);
    return form;
}

QLineEdit* AddEditRow(QFormLayout* form, const QString& name, const QString& label, const QString& hint)
{
    QWidget* parent = form->parentWidget();
    QLineEdit* edit = NewFormEdit(parent, name, hint);
    form->addRow(NewLabel(parent, label), edit);
    return edit;
}

QCheckBox* AddCheckRow(QFormLayout* form, const QString& name, const QString& caption, const QString& hint)
{
    auto* box = new QCheckBox(caption, form->parentWidget());
    box->setObjectName(name);
    box->setToolTip(hint);
    form->addRow(box);
    return box;
}

QComboBox* AddChoiceRow(QFormLayout* form, const QString& name, const QString& label, const QStringList& choices,
                        const QString& hint)
{
    auto* box = new QComboBox(form->parentWidget());
    box->setObjectName(name);
    box->setToolTip(hint);
    box->addItems(choices);
    form->addRow(NewLabel(form->parentWidget(), label), box);
    return box;
}

void SelectChoice(QComboBox* box, const std::string& text)
{
    const QString wanted = QString::fromStdString(text).trimmed();
    if (wanted.isEmpty()) {
        box->setCurrentIndex(0);
        return;
    }
    for (int index = 0; index < box->count(); ++index) {
        if (box->itemText(index).compare(wanted, Qt::CaseInsensitive) == 0) {
            box->setCurrentIndex(index);
            return;
        }
    }
    box->addItem(wanted);
    box->setCurrentIndex(box->count() - 1);
}

QLineEdit* AddBrowseRow(QFormLayout* form, const QString& name, const QString& label, const QString& hint,
                        const QString& browseHint, QWidget** browseButton)
{
    QWidget* parent = form->parentWidget();
    QLineEdit* edit = NewFormEdit(parent, name, hint);
    auto* browse = new QToolButton(parent);
    browse->setObjectName(name + "Browse");
    browse->setText("...");
    browse->setToolTip(browseHint);
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    row->addWidget(edit);
    row->addWidget(browse);
    form->addRow(NewLabel(parent, label), row);
    *browseButton = browse;
    return edit;
}

}  // namespace tavrin
