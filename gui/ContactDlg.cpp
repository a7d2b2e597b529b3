#include "gui/ContactDlg.h"

#include "gui/WindowFit.h"

#include "gui/ErrorBox.h"
#include "gui/FormFields.h"
#include "gui/ListWidgets.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrin {

namespace {

// Enter selects only from the list, never through a default button.
QPushButton* NewDialogButton(QWidget* parent, const QString& name, const QString& caption, const QString& hint)
{
    QPushButton* button = NewButton(parent, name, caption, hint);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TContactDlg::TContactDlg(TCatalogueConnection& catalogue, QWidget* parent, TOperatorDialogs* dialogs)
    : QDialog(parent), Dialogs(dialogs ? *dialogs : OwnDialogs), Book(catalogue)
{
    OwnDialogs.Owner = this;
    setObjectName("ContactDlg");
    setWindowTitle("Address Book");

    AddressListView = NewReportList(this, "AddressListView", {{"Name", 200}, {"Email", 200}},
                                    "Displays a list of contacts. Click the desired column header to change the sort "
                                    "order.");
    AddressListView->header()->setSectionsClickable(true);
    connect(AddressListView->header(), &QHeaderView::sectionClicked, this, &TContactDlg::SortBy);
    connect(AddressListView, &QTreeWidget::itemSelectionChanged, this, &TContactDlg::ContactSelected);
    connect(AddressListView, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    AddressListView->installEventFilter(this);

    Name = NewEdit(this, "Name", "Allows editing  of the name field of the selected contact entry.");
    Email = NewEdit(this, "Email", "Allows editing  of the email address field of the selected contact entry.");
    auto* fields = new QFormLayout;
    fields->addRow("Name", Name);
    fields->addRow("Email Address", Email);

    auto* save = NewDialogButton(this, "SaveBtn", "Save", "Click to save the currently selected item.");
    connect(save, &QPushButton::clicked, this, &TContactDlg::Save);
    auto* remove = NewDialogButton(this, "DeleteBtn", "Delete", "Click to delete the currently selected item.");
    connect(remove, &QPushButton::clicked, this, &TContactDlg::Delete);
    auto* select = NewDialogButton(this, "SelectBtn", "Select", "Click to select the currently selected item.");
    connect(select, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = NewDialogButton(this, "CancelBtn", "Cancel", "Click to cancel and close the dialog.");
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(select);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(AddressListView, 1);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    FitToContents(*this, {418, 342});
}

bool TContactDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == AddressListView && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TContactDlg::showEvent(QShowEvent* event)
{
    Run([&] { return Book.Reload(Email->text().toStdString()); });
    if (parentWidget())
        move(parentWidget()->frameGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TContactDlg::Run(const std::function<int()>& operation)
{
    int selected = -1;
    if (RunReportingErrors(this, [&] { selected = operation(); }))
        ShowContacts(selected);
}

void TContactDlg::ShowContacts(int selectedRow)
{
    const std::vector<TContactRow>& rows = Book.Rows();
    FillRowsQuietly(*AddressListView, static_cast<int>(rows.size()), [&](QTreeWidgetItem& item, int row) {
        item.setText(0, QString::fromStdString(rows[static_cast<std::size_t>(row)].Name));
        item.setText(1, QString::fromStdString(rows[static_cast<std::size_t>(row)].Email));
    });
    SelectRowQuietly(*AddressListView, selectedRow);
    ContactSelected();
}

void TContactDlg::ContactSelected()
{
    const int row = SelectedRow(*AddressListView);
    if (row < 0)
        return;
    Name->setText(AddressListView->topLevelItem(row)->text(0));
    Email->setText(AddressListView->topLevelItem(row)->text(1));
}

void TContactDlg::SortBy(int column)
{
    Book.SortBy(column == 0 ? "AddressListName" : "AddressListEmail");
    Run([&] { return Book.Reload(Email->text().toStdString()); });
}

void TContactDlg::Save()
{
    if (Email->text().isEmpty()) {
        // Refused with a box; the list stays as it is.
        Book.SaveContact(Name->text().toStdString(), Email->text().toStdString(), Dialogs);
        return;
    }
    Run([&] { return Book.SaveContact(Name->text().toStdString(), Email->text().toStdString(), Dialogs); });
}

void TContactDlg::Delete()
{
    const int row = SelectedRow(*AddressListView);
    if (row < 0)
        return;
    const std::int32_t id = Book.Rows()[static_cast<std::size_t>(row)].AddressID;
    Run([&] { return Book.DeleteContact(id, Email->text().toStdString()); });
}

std::optional<TContactRow> TContactDlg::SelectedContact() const
{
    const int row = SelectedRow(*AddressListView);
    if (row < 0 || row >= static_cast<int>(Book.Rows().size()))
        return std::nullopt;
    return Book.Rows()[static_cast<std::size_t>(row)];
}

}  // namespace tavrin
