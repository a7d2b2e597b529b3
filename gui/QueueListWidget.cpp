#include "gui/QueueListWidget.h"

#include "gui/JobTreeWidget.h"

#include <QDropEvent>
#include <QMimeData>

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
    setHeaderLabels({"Job", "Name", "Pages", "Date", "Status", "Tasks"});
    // The other columns follow their contents as rows are shown.
    setColumnWidth(QueueNameColumn, 160);
    setToolTip("Displays the list of items in the queue. Checked items will be processed from the beginning even if "
               "the files already exist on the local drive.");
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
