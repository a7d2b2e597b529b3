#include "gui/QueueTab.h"

#include "base/tasking/TaskSets.h"
#include "gui/AddressBox.h"
#include "gui/ErrorBox.h"
#include "gui/FormFields.h"
#include "gui/ListTexts.h"
#include "gui/ListWidgets.h"
#include "gui/QueueListWidget.h"
#include "station/QueueRunner.h"

#include <QBrush>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace tavrin {

TQueueTab::TQueueTab(TQueueRunner& runner, QWidget* parent)
    : QWidget(parent), OpenUrl(&QDesktopServices::openUrl), Runner(runner)
{
    QueueListView = new TQueueListWidget(this);
    connect(QueueListView, &TQueueListWidget::JobDropped, this, &TQueueTab::JobDropped);
    connect(QueueListView, &QTreeWidget::itemSelectionChanged, this, &TQueueTab::QueueRowSelected);
    connect(QueueListView, &QWidget::customContextMenuRequested, this, &TQueueTab::ShowRowMenu);
    connect(QueueListView, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
        const int row = RowOfItem(item);
        Run([&] { Runner.SetQueueRowChecked(row, item->checkState(0) == Qt::Checked); });
    });
    OnDeleteKey(*QueueListView, [this] { Run([&] { Runner.RemoveQueueRow(); }); });

    auto* queueGroup = new QGroupBox("Queue", this);
    auto* queueLayout = new QVBoxLayout(queueGroup);
    queueLayout->addWidget(QueueListView);

    // The Actions captions are long: the group takes the whole width.
    auto* lower = new QHBoxLayout;
    lower->addWidget(NewRecipientsGroup(), 1);
    lower->addWidget(NewQueueControls(), 0, Qt::AlignBottom);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(queueGroup, 3);
    layout->addWidget(NewActionsGroup());
    layout->addLayout(lower, 2);
    ShowDueField();
}

QGroupBox* TQueueTab::NewActionsGroup()
{
    auto* group = new QGroupBox("Actions", this);
    group->setObjectName("TaskRadioGroup");
    group->setToolTip("Select the desired action to be taken for the selected queue item.");
    TaskRadioGroup = new QButtonGroup(group);
    auto* layout = new QVBoxLayout(group);
    layout->setSpacing(2);
    for (int level = 0; level < TaskCount; ++level) {
        auto* radio = new QRadioButton(QString::fromStdString(TaskSetCaptions[static_cast<std::size_t>(level)]), group);
        TaskRadioGroup->addButton(radio, level);
        layout->addWidget(radio);
    }
    TaskRadioGroup->button(NotifyTask)->setChecked(true);
    connect(TaskRadioGroup, &QButtonGroup::idClicked, this,
            [this](int level) { Run([&] { Runner.ChooseTaskLevel(level); }); });
    return group;
}

QGroupBox* TQueueTab::NewRecipientsGroup()
{
    auto* group = new QGroupBox("Recipients", this);
    RecipientListView = NewReportList(group, "RecipientListView", {{"Name", 200}, {"Email", 200}},
                                      "Displays a list of notification recipients for the currently selected queue "
                                      "item.");
    // Several recipients in sight at any font: the header and four rows.
    auto* probe = new QTreeWidgetItem(RecipientListView, {"Name", "name@example.com"});
    const int rowHeight = RecipientListView->sizeHintForRow(0);
    delete probe;
    RecipientListView->setMinimumHeight(RecipientListView->header()->sizeHint().height() + 4 * rowHeight +
                                        style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                                        2 * RecipientListView->frameWidth());
    connect(RecipientListView, &QTreeWidget::itemSelectionChanged, this,
            [this] { Runner.SelectRecipientRow(SelectedRow(*RecipientListView)); });
    OnDeleteKey(*RecipientListView, [this] { RemoveRecipient(); });

    auto* add = NewButton(group, "AddressDlgBtn", "Add...",
                          "Click to display the address book for selecting a notification recipent.");
    connect(add, &QPushButton::clicked, this, &TQueueTab::AddRecipientClicked);
    auto* remove = NewButton(group, "RemoveRecipientBtn", "Remove",
                             "Click to remove the currently selected notification recipient.");
    connect(remove, &QPushButton::clicked, this, &TQueueTab::RemoveRecipient);

    // By when the customer is asked to answer: no date unless ticked.
    DueDateCheck = new QCheckBox("Due", group);
    DueDateCheck->setObjectName("DueDateCheck");
    DueDateCheck->setToolTip("Tick to ask the customer of the selected queue item to answer by the date beside.");
    DueDateEdit = new QDateEdit(group);
    DueDateEdit->setObjectName("DueDateEdit");
    DueDateEdit->setCalendarPopup(true);
    DueDateEdit->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    DueDateEdit->setToolTip("The date by which the customer of the selected queue item is asked to answer.");
    connect(DueDateCheck, &QCheckBox::toggled, this, &TQueueTab::StoreDueDate);
    connect(DueDateEdit, &QDateEdit::dateChanged, this, &TQueueTab::StoreDueDate);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(DueDateCheck);
    buttons->addWidget(DueDateEdit);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(RecipientListView);
    layout->addLayout(buttons);
    return group;
}

QGroupBox* TQueueTab::NewQueueControls()
{
    QueueControlsGroupBox = new QGroupBox("Queue Controls", this);
    QueueControlsGroupBox->setObjectName("QueueControlsGroupBox");
    auto* start = NewButton(QueueControlsGroupBox, "StartBtn", "Start", "Click to start the queue.");
    connect(start, &QPushButton::clicked, this, [this] { Run([&] { Runner.Start(); }); });
    auto* remove =
        NewButton(QueueControlsGroupBox, "RemoveFromQueueBtn", "Remove", "Click to remove an item from the queue.");
    connect(remove, &QPushButton::clicked, this, [this] { Run([&] { Runner.RemoveQueueRow(); }); });
    auto* layout = new QVBoxLayout(QueueControlsGroupBox);
    layout->addWidget(start);
    layout->addWidget(remove);
    return QueueControlsGroupBox;
}

void TQueueTab::Run(const std::function<void()>& operation)
{
    RunReportingErrors(window(), operation);
}

void TQueueTab::ShowQueue()
{
    const std::vector<TQueueRow>& rows = Runner.QueueRows();
    const QDate today = QDate::currentDate();
    FillRowsQuietly(*QueueListView, static_cast<int>(rows.size()), [&](QTreeWidgetItem& item, int row) {
        const TQueueRow& queued = rows[static_cast<std::size_t>(row)];
        item.setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        // A job uploaded whose mail failed: its address is the row's hint, to send by hand.
        const QString address = QString::fromStdString(queued.ProofAddress);
        for (int column = 0; column < QueueListView->columnCount(); ++column)
            item.setToolTip(column, address);
        item.setText(QueueJobColumn, QString::number(queued.JobReference));
        item.setData(QueueJobColumn, SortRole, static_cast<qlonglong>(queued.JobReference));
        item.setText(QueueNameColumn, QString::fromStdString(queued.Caption));
        item.setToolTip(QueueNameColumn,
                        QString::fromStdString(queued.Caption) + (address.isEmpty() ? QString() : "\n" + address));
        item.setText(QueueCustomerColumn, QString::fromStdString(queued.Customer));
        item.setText(QueuePagesColumn, QString::number(queued.PageCount));
        item.setData(QueuePagesColumn, SortRole, queued.PageCount);
        item.setText(QueueDateColumn, QString::fromStdString(queued.CataloguedAt));
        item.setData(QueueRoundColumn, SortRole, queued.Round.Number);
        ShowDueDate(item, QueueDueColumn, queued.DueDate, false, today);
        // The running job shows what its task is doing in place of its stored status.
        const std::optional<TRunnerActivity>& activity = Runner.Activity();
        const bool running = activity && activity->JobReference == queued.JobReference;
        item.setText(QueueStatusColumn, QString::fromStdString(running ? ActivityText(*activity) : queued.Status));
        QFont statusFont = QueueListView->font();
        statusFont.setBold(running);
        item.setFont(QueueStatusColumn, statusFont);
        item.setText(QueueTasksColumn, QString::fromStdString(queued.Tasks));
        item.setText(QueueRoundColumn, QString::fromStdString(ProofRoundText(queued.Round)));
        // A failed job says where in red, and why in the hint.
        const bool failed = IsFailedStatus(queued.Status);
        item.setForeground(QueueStatusColumn, failed ? QBrush(Qt::red) : QBrush());
        item.setToolTip(QueueStatusColumn,
                        failed ? QString::fromStdString(queued.FailureReason) +
                                     (address.isEmpty() ? QString() : "\nThe proof was uploaded: " + address)
                               : QString());
        item.setCheckState(QueueJobColumn, queued.Checked ? Qt::Checked : Qt::Unchecked);
    });
    FitColumnsToContents(*QueueListView, {QueueJobColumn, QueuePagesColumn, QueueDateColumn, QueueRoundColumn,
                                          QueueDueColumn, QueueStatusColumn, QueueTasksColumn});
    FitNameColumn(*QueueListView, QueueNameColumn, 160);
    FitNameColumn(*QueueListView, QueueCustomerColumn, 160);
    ShowSelection();
}

// The list and the Actions group follow the row the runner has selected.
void TQueueTab::ShowSelection()
{
    const int row = Runner.SelectedQueueRow();
    SelectRowQuietly(*QueueListView, row);
    ShowDueField();
    if (row < 0)
        return;
    const int level = ExactTaskSetLevel(Runner.QueueRows()[static_cast<std::size_t>(row)].Tasks);
    if (level >= 0) {
        const QSignalBlocker blocker(TaskRadioGroup);
        TaskRadioGroup->button(level)->setChecked(true);
    }
}

void TQueueTab::QueueRowSelected()
{
    Run([&] { Runner.SelectQueueRow(SelectedRow(*QueueListView)); });
    ShowSelection();
}

void TQueueTab::ShowRecipients()
{
    const std::vector<TRecipientRow>& rows = Runner.RecipientRows();
    FillRowsQuietly(*RecipientListView, static_cast<int>(rows.size()), [&](QTreeWidgetItem& item, int row) {
        item.setText(0, QString::fromStdString(rows[static_cast<std::size_t>(row)].Name));
        item.setText(1, QString::fromStdString(rows[static_cast<std::size_t>(row)].Email));
    });
    SelectRowQuietly(*RecipientListView, Runner.SelectedRecipientRow());
    // Selecting a queue row reloads its recipients: the list shows that row.
    ShowSelection();
}

void TQueueTab::RemoveRecipient()
{
    Run([&] { Runner.RemoveRecipient(); });
}

// The date field shows the selected row's due date, without storing it again.
void TQueueTab::ShowDueField()
{
    const int row = Runner.SelectedQueueRow();
    const std::vector<TQueueRow>& rows = Runner.QueueRows();
    const bool selected = row >= 0 && row < static_cast<int>(rows.size());
    const std::optional<TCalendarDate> due = selected ? rows[static_cast<std::size_t>(row)].DueDate : std::nullopt;
    const QSignalBlocker checkBlocker(DueDateCheck);
    const QSignalBlocker editBlocker(DueDateEdit);
    DueDateCheck->setEnabled(selected);
    DueDateCheck->setChecked(due.has_value());
    DueDateEdit->setEnabled(selected && due.has_value());
    // Without a date the field offers a week from today, a common turn for a proof.
    DueDateEdit->setDate(due ? ToQDate(*due) : QDate::currentDate().addDays(7));
}

void TQueueTab::StoreDueDate()
{
    const int row = Runner.SelectedQueueRow();
    const std::vector<TQueueRow>& rows = Runner.QueueRows();
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return;
    const std::uint32_t job = rows[static_cast<std::size_t>(row)].JobReference;
    const std::optional<TCalendarDate> due =
        DueDateCheck->isChecked() ? std::optional<TCalendarDate>(FromQDate(DueDateEdit->date())) : std::nullopt;
    Run([&] { Runner.SetDueDate(job, due); });
    ShowDueField();
}

QMenu* TQueueTab::NewRowMenu(int row)
{
    const std::vector<TQueueRow>& rows = Runner.QueueRows();
    const QString address = row >= 0 && row < static_cast<int>(rows.size())
                                ? QString::fromStdString(rows[static_cast<std::size_t>(row)].ProofAddress)
                                : QString();
    return NewLinkMenu(this, "QueueRowMenu", address, [this, address] {
        // The desktop does not say why it failed; the operator can still paste the address by hand.
        if (!OpenUrl(QUrl(address)))
            ShowUnopenedAddress(window(), address);
    });
}

void TQueueTab::ShowRowMenu(const QPoint& position)
{
    QTreeWidgetItem* item = QueueListView->itemAt(position);
    if (!item)
        return;
    NewRowMenu(RowOfItem(item))->popup(QueueListView->viewport()->mapToGlobal(position));
}

void TQueueTab::ShowQueueControls()
{
    QueueControlsGroupBox->setEnabled(Runner.QueueControlsEnabled());
}

}  // namespace tavrin
