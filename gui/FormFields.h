#pragma once

#include <QString>

class QCheckBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tavrin {

// An edit field with its object name and hint.
QLineEdit* NewEdit(QWidget* parent, const QString& name, const QString& hint);

// A push button with its object name, caption and hint.
QPushButton* NewButton(QWidget* parent, const QString& name, const QString& caption, const QString& hint);

// A new form layout: labels, each on one line, left of their fields.
QFormLayout* NewFormLayout(QWidget* parent);

// An edit field named after its setting, with its label and hint, added as a form row.
QLineEdit* AddEditRow(QFormLayout* form, const QString& name, const QString& label, const QString& hint);

// A check box named after its setting, with its caption and hint, added as a form row.
QCheckBox* AddCheckRow(QFormLayout* form, const QString& name, const QString& caption, const QString& hint);

// An edit field with a "..." browse button after it, added as a form row.
// The button is returned through browseButton.
QLineEdit* AddBrowseRow(QFormLayout* form, const QString& name, const QString& label, const QString& hint,
                        const QString& browseHint, QWidget** browseButton);

}  // namespace tavrin
