#include "gui/ListWidgets.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QSignalBlocker>

#include <algorithm>

namespace tavrin {

namespace {

// Runs an action for the Delete key pressed in one widget.
class TDeleteKeyFilter final : public QObject {
public:
    TDeleteKeyFilter(QObject* parent, std::function<void()> action) : QObject(parent), Action(std::move(action)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            Action();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> Action;
};

// The row FillRowsQuietly gave an item, on its first column.
constexpr int RowRole = Qt::UserRole + 2;

}  // namespace

bool TSortableItem::operator<(const QTreeWidgetItem& other) const
{
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    const QVariant mine = data(column, SortRole);
    const QVariant theirs = other.data(column, SortRole);
    if (mine.isValid() != theirs.isValid())
        return !mine.isValid();
    if (mine.isValid())
        return QVariant::compare(mine, theirs) == QPartialOrdering::Less;
    return QTreeWidgetItem::operator<(other);
}

void MakeSortable(QTreeWidget& list)
{
    // No order of its own until the operator asks for one, and no room
    // for the sort mark in every header until then.
    list.header()->setSortIndicator(-1, Qt::AscendingOrder);
    list.setSortingEnabled(true);
    list.header()->setSortIndicatorShown(false);
    QHeaderView* header = list.header();
    QObject::connect(header, &QHeaderView::sortIndicatorChanged, header,
                     [header](int column) { header->setSortIndicatorShown(column >= 0); });
}

QTreeWidget* NewReportList(QWidget* parent, const QString& name, std::initializer_list<std::pair<QString, int>> columns,
                           const QString& hint)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    QStringList captions;
    for (const auto& column : columns)
        captions << column.first;
    list->setHeaderLabels(captions);
    int index = 0;
    for (const auto& column : columns)
        list->setColumnWidth(index++, column.second);
    list->setToolTip(hint);
    return list;
}

int RowOfItem(const QTreeWidgetItem* item)
{
    if (!item)
        return -1;
    const QVariant row = item->data(0, RowRole);
    return row.isValid() ? row.toInt() : item->treeWidget()->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
}

QTreeWidgetItem* ItemOfRow(const QTreeWidget& list, int row)
{
    for (int index = 0; index < list.topLevelItemCount() && row >= 0; ++index)
        if (RowOfItem(list.topLevelItem(index)) == row)
            return list.topLevelItem(index);
    return nullptr;
}

int SelectedRow(const QTreeWidget& list)
{
    const QList<QTreeWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : RowOfItem(selected.front());
}

void SelectRowQuietly(QTreeWidget& list, int row)
{
    const QSignalBlocker blocker(list);
    QTreeWidgetItem* item = ItemOfRow(list, row);
    if (item) {
        list.setCurrentItem(item);
        item->setSelected(true);
    } else {
        list.clearSelection();
        list.setCurrentItem(nullptr);
    }
}

void FillRowsQuietly(QTreeWidget& list, int count, const std::function<void(QTreeWidgetItem&, int)>& fill)
{
    const QSignalBlocker blocker(list);
    // Rows that moved while they are filled would be filled twice or not at all.
    const bool sortable = list.isSortingEnabled();
    const bool sortMarkShown = list.header()->isSortIndicatorShown();
    if (sortable)
        list.setSortingEnabled(false);
    while (list.topLevelItemCount() > count)
        delete list.takeTopLevelItem(list.topLevelItemCount() - 1);
    while (list.topLevelItemCount() < count)
        list.addTopLevelItem(new TSortableItem);
    for (int row = 0; row < count; ++row) {
        QTreeWidgetItem& item = *list.topLevelItem(row);
        item.setData(0, RowRole, row);
        fill(item, row);
    }
    if (sortable) {
        list.setSortingEnabled(true);
        list.header()->setSortIndicatorShown(sortMarkShown);
    }
}

void FitColumnsToContents(QTreeWidget& list, std::initializer_list<int> columns)
{
    for (const int column : columns)
        list.resizeColumnToContents(column);
}

void FitNameColumn(QTreeWidget& list, int column, int widest)
{
    list.resizeColumnToContents(column);
    list.setColumnWidth(column, std::min(list.columnWidth(column), widest));
}

void OnDeleteKey(QTreeWidget& list, const std::function<void()>& action)
{
    list.installEventFilter(new TDeleteKeyFilter(&list, action));
}

}  // namespace tavrin
