#pragma once

#include <QStringList>
#include <QTreeWidget>

#include <functional>
#include <initializer_list>
#include <utility>

namespace tavrin {

// Where a list row keeps what it sorts by in a column (a number, a date, a
// moment), when not by its text.
constexpr int SortRole = Qt::UserRole + 1;

// A row that sorts by its SortRole value where it has one (rows without
// one first), by its text elsewhere.
class TSortableItem final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override;
};

// Lets the operator sort the list by any column (click its header). The
// rows keep the order they were filled in until a header is clicked; a
// list filled by FillRowsQuietly keeps the chosen order through refills.
void MakeSortable(QTreeWidget& list);

// A read-only report-style list with whole-row selection and the given
// columns (caption, width).
QTreeWidget* NewReportList(QWidget* parent, const QString& name, std::initializer_list<std::pair<QString, int>> columns,
                           const QString& hint);

// The rows below are those given to FillRowsQuietly, whatever order the
// list shows them in.

// The item's row, or -1 for none.
int RowOfItem(const QTreeWidgetItem* item);
// The item that shows the row, or null.
QTreeWidgetItem* ItemOfRow(const QTreeWidget& list, int row);

// The row of the selected item, or -1.
int SelectedRow(const QTreeWidget& list);

// Selects the row (none for -1) without announcing it.
void SelectRowQuietly(QTreeWidget& list, int row);

// Makes the list hold exactly count rows, keeping those it has, without
// announcing anything; fill(item, row) then sets each row's texts. A
// sortable list is sorted again afterwards.
void FillRowsQuietly(QTreeWidget& list, int count, const std::function<void(QTreeWidgetItem&, int)>& fill);

// Widens or narrows each of the columns to its header and rows, so that no
// text in them is cut off.
void FitColumnsToContents(QTreeWidget& list, std::initializer_list<int> columns);

// The same for a column of names, but never wider than widest: a long name is
// cut there and whole in the row's hint.
void FitNameColumn(QTreeWidget& list, int column, int widest);

// Calls the action when the Delete key is pressed while the list has the focus.
void OnDeleteKey(QTreeWidget& list, const std::function<void()>& action);

}  // namespace tavrin
