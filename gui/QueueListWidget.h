#pragma once

#include <QTreeWidget>

namespace tavrin {

// The queue list's columns: the reference, pages and date tell jobs of one
// name apart; Customer names the recipients, Due is when the customer is
// asked to answer.
enum TQueueColumn {
    QueueJobColumn,
    QueueNameColumn,
    QueueCustomerColumn,
    QueuePagesColumn,
    QueueDateColumn,
    QueueRoundColumn,
    QueueDueColumn,
    QueueStatusColumn,
    QueueTasksColumn
};

// The queue list (QueueListView): report style with check boxes, sortable
// by any column; anything
// dragged over it is accepted, and a job dropped from the job tree is
// announced.
class TQueueListWidget final : public QTreeWidget {
    Q_OBJECT
public:
    explicit TQueueListWidget(QWidget* parent = nullptr);

    // As wide as all its columns: the window makes room for the whole task set when the screen allows.
    QSize sizeHint() const override;

signals:
    void JobDropped();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

}  // namespace tavrin
