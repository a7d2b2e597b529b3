#include "gui/PostQueueTab.h"

#include "base/tasking/StationLog.h"
#include "gui/AddressBox.h"
#include "gui/ErrorBox.h"
#include "gui/FormFields.h"
#include "gui/ListWidgets.h"
#include "station/QueueRunner.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrin {

TPostQueueTab::TPostQueueTab(TQueueRunner& runner, TStationLog& log, QWidget* parent)
    : QWidget(parent), OpenUrl(&QDesktopServices::openUrl), Runner(runner), Log(log)
{
    auto* listGroup = new QGroupBox("Post Queue", this);
    PostQueueListView =
        NewReportList(listGroup, "PostQueueListView",
                      {{"Job", 40}, {"Name", 160}, {"Pages", 40}, {"Date", 100}, {"Status", 60}, {"Proof", 300}},
                      "Displays items that have already been processed.");
    PostQueueListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PostQueueListView, &QWidget::customContextMenuRequested, this, &TPostQueueTab::ShowRowMenu);
    connect(PostQueueListView, &QTreeWidget::itemSelectionChanged, this,
            [this] { Runner.SelectPostQueueRow(SelectedRow(*PostQueueListView)); });
    connect(PostQueueListView, &QTreeWidget::itemDoubleClicked, this, &TPostQueueTab::OpenWebPage);
    const auto deleteJob = [this] { RunReportingErrors(window(), [&] { Runner.DeleteFromPostQueue(); }); };
    OnDeleteKey(*PostQueueListView, deleteJob);
    auto* listLayout = new QVBoxLayout(listGroup);
    listLayout->addWidget(PostQueueListView);

    auto* controls = new QGroupBox("Post Queue Controls", this);
    QPushButton* remove = NewButton(controls, "DeleteFromPostQueueBtn", "Delete",
                                    "Click to delete the post-queue item and all associated files from the local "
                                    "hard drive and the remote web server.");
    connect(remove, &QPushButton::clicked, this, deleteJob);
    QPushButton* browse = NewButton(controls, "PostQueueBrowseBtn", "Browse...",
                                    "Click to launch your default browser to view the resultant web page.");
    connect(browse, &QPushButton::clicked, this, &TPostQueueTab::OpenWebPage);
    auto* controlsLayout = new QHBoxLayout(controls);
    controlsLayout->addWidget(remove);
    controlsLayout->addWidget(browse);
    controlsLayout->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listGroup, 1);
    layout->addWidget(controls);
}

void TPostQueueTab::ShowPostQueue()
{
    const std::vector<TPostQueueRow>& rows = Runner.PostQueueRows();
    FillRowsQuietly(*PostQueueListView, static_cast<int>(rows.size()), [&](QTreeWidgetItem& item, int row) {
        const TPostQueueRow& finished = rows[static_cast<std::size_t>(row)];
        item.setText(PostJobColumn, QString::number(finished.JobReference));
        item.setText(PostNameColumn, QString::fromStdString(finished.Caption));
        item.setToolTip(PostNameColumn, QString::fromStdString(finished.Caption));
        item.setText(PostPagesColumn, QString::number(finished.PageCount));
        item.setText(PostDateColumn, QString::fromStdString(finished.CataloguedAt));
        item.setText(PostStatusColumn, QString::fromStdString(finished.Status));
        item.setText(PostProofColumn, finished.ProofAddress.empty() ? QString("not transferred")
                                                                    : QString::fromStdString(finished.ProofAddress));
    });
    FitColumnsToContents(*PostQueueListView,
                         {PostJobColumn, PostPagesColumn, PostDateColumn, PostStatusColumn, PostProofColumn});
    FitNameColumn(*PostQueueListView, PostNameColumn, 160);
    SelectRowQuietly(*PostQueueListView, Runner.SelectedPostQueueRow());
}

QMenu* TPostQueueTab::NewRowMenu(int row)
{
    auto* menu = new QMenu(this);
    menu->setObjectName("PostQueueRowMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const std::vector<TPostQueueRow>& rows = Runner.PostQueueRows();
    const QString address = row >= 0 && row < static_cast<int>(rows.size())
                                ? QString::fromStdString(rows[static_cast<std::size_t>(row)].ProofAddress)
                                : QString();
    QAction* copy = menu->addAction("Copy Link", this, [address] { CopyAddress(address); });
    copy->setObjectName("CopyLinkItem");
    QAction* open = menu->addAction("Open", this, [this, row] {
        Runner.SelectPostQueueRow(row);
        SelectRowQuietly(*PostQueueListView, row);
        OpenWebPage();
    });
    open->setObjectName("OpenItem");
    copy->setEnabled(!address.isEmpty());
    open->setEnabled(!address.isEmpty());
    return menu;
}

void TPostQueueTab::ShowRowMenu(const QPoint& position)
{
    QTreeWidgetItem* item = PostQueueListView->itemAt(position);
    if (!item)
        return;
    NewRowMenu(PostQueueListView->indexOfTopLevelItem(item))
        ->popup(PostQueueListView->viewport()->mapToGlobal(position));
}

void TPostQueueTab::OpenWebPage()
{
    RunReportingErrors(window(), [&] {
        const std::optional<std::string> address = Runner.WebPageAddress();
        if (!address)
            return;
        Log.Log("Opening " + *address);
        // The desktop does not say why it failed; the operator can still paste the address by hand.
        if (!OpenUrl(QUrl(QString::fromStdString(*address)))) {
            Log.Log("The desktop could not open " + *address);
            ShowUnopenedAddress(window(), QString::fromStdString(*address));
        }
    });
}

}  // namespace tavrin
