#include "gui/ListWidgets.h"

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

}  // namespace

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

int SelectedRow(const QTreeWidget& list)
{
    const QList<QTreeWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.indexOfTopLevelItem(selected.front());
}

void SelectRowQuietly(QTreeWidget& list, int row)
{
    const QSignalBlocker blocker(list);
    QTreeWidgetItem* item = row >= 0 ? list.topLevelItem(row) : nullptr;
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
    while (list.topLevelItemCount() > count)
        delete list.takeTopLevelItem(list.topLevelItemCount() - 1);
    while (list.topLevelItemCount() < count)
        list.addTopLevelItem(new QTreeWidgetItem);
    for (int row = 0; row < count; ++row)
        fill(*list.topLevelItem(row), row);
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
