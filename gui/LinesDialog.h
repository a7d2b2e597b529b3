#pragma once

#include <QString>

class QDialog;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace tavrin {

// A dialog of lines the operator reads and copies: a heading, the lines in a
// fixed-width font, a busy bar while they are being made, Copy and Close.
// It deletes itself when closed. Its parts are named NAME + "Dlg",
// "Heading", "Text", "Busy", and the Copy button copyName, so that tests
// find them.
struct TLinesDialog {
    QDialog* Dialog = nullptr;
    QLabel* Heading = nullptr;
    QPlainTextEdit* Text = nullptr;
    QProgressBar* Busy = nullptr;
    QPushButton* Copy = nullptr;

    // The work has ended: the bar goes, the heading says what came of it,
    // and the lines (if any) can be copied.
    void ShowResult(const QString& heading, const QString& lines) const;
    void ShowFailure(const QString& heading) const;
};

// Busy until ShowResult or ShowFailure; Copy is disabled until then.
TLinesDialog NewLinesDialog(QWidget* owner, const QString& title, const QString& name, const QString& copyName);

}  // namespace tavrin
