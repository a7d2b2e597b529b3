#pragma once

#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
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

// A drop-down list of fixed choices named after its setting, added as a form row.
QComboBox* AddChoiceRow(QFormLayout* form, const QString& name, const QString& label, const QStringList& choices,
                        const QString& hint);

// Selects the choice that matches the setting's text without regard to case;
// a text that is none of them is shown as it stands (an extra entry), so that
// saving never turns it into a choice the operator did not make.
void SelectChoice(QComboBox* box, const std::string& text);

// An edit field with a "..." browse button after it, added as a form row.
// The button is returned through browseButton.
QLineEdit* AddBrowseRow(QFormLayout* form, const QString& name, const QString& label, const QString& hint,
                        const QString& browseHint, QWidget** browseButton);

}  // namespace tavrin
