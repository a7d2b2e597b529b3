#pragma once

#include "gui/QtOperatorDialogs.h"
#include "station/AddressBook.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLineEdit;
class QTreeWidget;

namespace tavrin {

// The address book (TContactDlg): the contacts of the catalogue, edited by
// name and address; Select closes it with OK and leaves the selected contact
// for the caller. The sort order lasts as long as the dialog.
class TContactDlg final : public QDialog {
    Q_OBJECT
public:
    // The contacts are the catalogue's. Boxes go through dialogs; without it
    // they are Qt boxes owned by this dialog.
    explicit TContactDlg(TCatalogueConnection& catalogue, QWidget* parent = nullptr,
                         TOperatorDialogs* dialogs = nullptr);

    // The selected contact after the dialog closed, or nothing.
    std::optional<TContactRow> SelectedContact() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowContacts(int selectedRow);
    void ContactSelected();
    void SortBy(int column);
    void Save();
    void Delete();
    void Run(const std::function<int()>& operation);

    TQtOperatorDialogs OwnDialogs;
    TOperatorDialogs& Dialogs;
    TAddressBook Book;
    QTreeWidget* AddressListView = nullptr;
    QLineEdit* Name = nullptr;
    QLineEdit* Email = nullptr;
};

}  // namespace tavrin
