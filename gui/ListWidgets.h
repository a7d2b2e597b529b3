#pragma once

#include <QStringList>
#include <QTreeWidget>

#include <functional>
#include <initializer_list>
#include <utility>

namespace tavrin {

// A read-only report-style list with whole-row selection and the given
// columns (caption, width).
QTreeWidget* NewReportList(QWidget* parent, const QString& name, std::initializer_list<std::pair<QString, int>> columns,
                           const QString& hint);

// The row of the selected item, or -1.
int SelectedRow(const QTreeWidget& list);

// Selects the row (none for -1) without announcing it.
void SelectRowQuietly(QTreeWidget& list, int row);

// Makes the list hold exactly count rows, keeping those it has, without
// announcing anything; fill(item, row) then sets each row's texts.
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
