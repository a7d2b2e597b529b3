#include "gui/QueueListWidget.h"

#include "base/tasking/TaskSets.h"
#include "gui/JobTreeWidget.h"
#include "gui/ListWidgets.h"

#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>

namespace tavrin {

TQueueListWidget::TQueueListWidget(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName("QueueListView");
    setRootIsDecorated(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setHeaderLabels({"Job", "Name", "Customer", "Pages", "Date", "Round", "Due", "Status", "Tasks"});
    // Room for typical texts at the desktop's font until rows are shown; the
    // columns other than Name then follow their contents.
    const QFontMetrics metrics = fontMetrics();
    const int padding = 3 * metrics.averageCharWidth();
    setColumnWidth(QueueJobColumn, metrics.horizontalAdvance("00000") + 2 * padding);
    setColumnWidth(QueueNameColumn, 160);
    setColumnWidth(QueueCustomerColumn, metrics.horizontalAdvance("Customer") + padding);
    setColumnWidth(QueuePagesColumn, metrics.horizontalAdvance("Pages") + padding);
    setColumnWidth(QueueDateColumn, metrics.horizontalAdvance("2026-12-10 09:26") + padding);
    setColumnWidth(QueueRoundColumn, metrics.horizontalAdvance("2 of 00000") + padding);
    setColumnWidth(QueueDueColumn, metrics.horizontalAdvance("00/00/0000") + padding);
    setColumnWidth(QueueStatusColumn, metrics.horizontalAdvance("Failed at Transfer") + padding);
    setColumnWidth(QueueTasksColumn,
                   metrics.horizontalAdvance(QString::fromStdString(TaskSetTexts[NotifyTask])) + padding);
    MakeSortable(*this);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setToolTip("Displays the list of items in the queue. Checked items will be processed from the beginning even if "
               "the files already exist on the local drive.");
}

QSize TQueueListWidget::sizeHint() const
{
    int width = 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < columnCount(); ++column)
        width += columnWidth(column);
    return {width, QTreeWidget::sizeHint().height()};
}

void TQueueListWidget::dragEnterEvent(QDragEnterEvent* event)
{
    event->acceptProposedAction();
}

void TQueueListWidget::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void TQueueListWidget::dropEvent(QDropEvent* event)
{
    // Only the job tree's drags mean something here.
    if (!event->mimeData()->hasFormat(TJobTreeWidget::MimeType))
        return;
    event->acceptProposedAction();
    emit JobDropped();
}

}  // namespace tavrin
