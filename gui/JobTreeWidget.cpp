#include "gui/JobTreeWidget.h"

#include "base/catalogue/JobTree.h"
#include "gui/JobTreeImages.h"

#include <QMimeData>

namespace tavrin {

namespace {

QTreeWidgetItem* JobItemOf(QTreeWidgetItem* item)
{
    while (item && item->parent())
        item = item->parent();
    return item;
}

QTreeWidgetItem* NewItem(const TJobTreeNode& node, const QList<QIcon>& images)
{
    auto* item = new QTreeWidgetItem(QStringList(QString::fromStdString(node.Text)));
    item->setData(0, TJobTreeWidget::ReferenceRole, node.Data.Reference);
    item->setData(0, TJobTreeWidget::KindRole, static_cast<int>(node.Data.Kind));
    if (node.ImageIndex >= 0 && node.ImageIndex < images.size())
        item->setIcon(0, images[node.ImageIndex]);
    return item;
}

}  // namespace

TJobTreeWidget::TJobTreeWidget(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName("JobList");
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setToolTip("Displays a list of Harlequin page buffer files. You can drag and drop any top-level item into the "
               "queue window.");
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { SetJobImage(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) { SetJobImage(item, false); });
}

void TJobTreeWidget::ShowTree(const TJobTree& tree)
{
    clear();
    Images = JobTreeImages(tree);
    for (const TJobTreeNode& job : tree.Jobs) {
        QTreeWidgetItem* jobItem = NewItem(job, Images);
        for (const TJobTreeNode& plate : job.Children)
            jobItem->addChild(NewItem(plate, Images));
        addTopLevelItem(jobItem);
    }
}

void TJobTreeWidget::SetJobImage(QTreeWidgetItem* item, bool open)
{
    if (item->data(0, KindRole).toInt() == JobTreeNodeData::Job)
        item->setIcon(0, Images.value(open ? JobExpandedImage : JobCollapsedImage));
}

std::optional<std::int32_t> TJobTreeWidget::SelectedJobReference() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return JobItemOf(selected.front())->data(0, ReferenceRole).toInt();
}

QStringList TJobTreeWidget::mimeTypes() const
{
    return {MimeType};
}

QMimeData* TJobTreeWidget::mimeData(const QList<QTreeWidgetItem*>& items) const
{
    if (items.isEmpty())
        return nullptr;
    auto* payload = new QMimeData;
    payload->setData(MimeType, QByteArray::number(JobItemOf(items.front())->data(0, ReferenceRole).toInt()));
    return payload;
}

}  // namespace tavrin
