#pragma once

#include <QWidget>

#include <functional>

class QButtonGroup;
class QGroupBox;
class QTreeWidget;

namespace tavrin {

class TQueueListWidget;
class TQueueRunner;

// The "Queue" tab: the queue with its check boxes, the Actions group (the
// task set of the selected row), the recipients of the selected row, and the
// queue controls Start and Remove. It shows the runner's lists and calls its
// operations.
class TQueueTab final : public QWidget {
    Q_OBJECT
public:
    TQueueTab(TQueueRunner& runner, QWidget* parent = nullptr);

    // Redraw from the runner after it told of a change.
    void ShowQueue();
    void ShowRecipients();
    void ShowQueueControls();

    TQueueListWidget* QueueListView = nullptr;

signals:
    void JobDropped();
    void AddRecipientClicked();

private:
    QGroupBox* NewActionsGroup();
    QGroupBox* NewRecipientsGroup();
    QGroupBox* NewQueueControls();
    void ShowSelection();
    void QueueRowSelected();
    void RemoveRecipient();
    void Run(const std::function<void()>& operation);

    TQueueRunner& Runner;
    QButtonGroup* TaskRadioGroup = nullptr;
    QTreeWidget* RecipientListView = nullptr;
    QGroupBox* QueueControlsGroupBox = nullptr;
};

}  // namespace tavrin
