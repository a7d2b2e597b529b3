#include "gui/PostQueueTab.h"

#include "gui/ErrorBox.h"
#include "gui/FormFields.h"
#include "gui/ListWidgets.h"
#include "station/QueueRunner.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrin {

TPostQueueTab::TPostQueueTab(TQueueRunner& runner, TOperatorDialogs& dialogs, QWidget* parent)
    : QWidget(parent), OpenUrl(&QDesktopServices::openUrl), Runner(runner), Dialogs(dialogs)
{
    auto* listGroup = new QGroupBox("Post Queue", this);
    PostQueueListView = NewReportList(listGroup, "PostQueueListView", {{"Name", 200}, {"Status", 100}},
                                      "Displays items that have already been processed.");
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
        item.setText(0, QString::fromStdString(rows[static_cast<std::size_t>(row)].Caption));
        item.setText(1, QString::fromStdString(rows[static_cast<std::size_t>(row)].Status));
    });
    SelectRowQuietly(*PostQueueListView, Runner.SelectedPostQueueRow());
}

void TPostQueueTab::OpenWebPage()
{
    RunReportingErrors(window(), [&] {
        const std::optional<std::string> address = Runner.WebPageAddress();
        if (!address)
            return;
        // The desktop does not say why it failed: 0 stands for an unknown reason.
        if (!OpenUrl(QUrl(QString::fromStdString(*address))))
            Dialogs.Tell("Error", "Error 0 launching URL", TDialogIcon::Warning);
    });
}

}  // namespace tavrin
