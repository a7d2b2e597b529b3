#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QMenu;
class QTreeWidget;

namespace tavrin {

class TQueueListWidget;
class TQueueRunner;

// The "Queue" tab: the queue with its check boxes, the Actions group (the
// task set of the selected row), the recipients of the selected row with
// the date by which its customer is asked to answer, and the queue controls
// Start and Remove. A row's menu copies or opens the proof of a job that was
// uploaded but whose mail failed. It shows the runner's lists and calls its
// operations.
class TQueueTab final : public QWidget {
    Q_OBJECT
public:
    TQueueTab(TQueueRunner& runner, QWidget* parent = nullptr);

    // Redraw from the runner after it told of a change.
    void ShowQueue();
    void ShowRecipients();
    void ShowQueueControls();

    // The menu of a row ("Copy Link", "Open", enabled while the row has a
    // proof address), owned by the tab; the caller shows it.
    QMenu* NewRowMenu(int row);

    // Opens an address in the desktop's browser; false when that failed.
    std::function<bool(const QUrl&)> OpenUrl;

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
    void ShowDueField();
    void StoreDueDate();
    void ShowRowMenu(const QPoint& position);
    void Run(const std::function<void()>& operation);

    TQueueRunner& Runner;
    QButtonGroup* TaskRadioGroup = nullptr;
    QTreeWidget* RecipientListView = nullptr;
    QGroupBox* QueueControlsGroupBox = nullptr;
    QCheckBox* DueDateCheck = nullptr;
    QDateEdit* DueDateEdit = nullptr;
};

}  // namespace tavrin
