#pragma once

#include <QTreeWidget>

#include <cstdint>
#include <optional>

namespace tavrin {

struct TJobTree;

// The job tree (JobList): one node per job with its plates, read-only, a
// drag source whose payload says that it came from the job tree.
class TJobTreeWidget final : public QTreeWidget {
    Q_OBJECT
public:
    // The MIME type of a drag from the job tree: the job reference, decimal.
    static constexpr const char* MimeType = "application/x-tavrin-joblist";
    // Item data roles: the job reference, and the node kind of JobTreeNodeData.
    static constexpr int ReferenceRole = Qt::UserRole;
    static constexpr int KindRole = Qt::UserRole + 1;

    explicit TJobTreeWidget(QWidget* parent = nullptr);

    // Clears the tree and fills it with the nodes of the job tree and their images.
    void ShowTree(const TJobTree& tree);

    // The job of the selected node (a plate counts as its job), or nothing.
    std::optional<std::int32_t> SelectedJobReference() const;

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;

private:
    void SetJobImage(QTreeWidgetItem* item, bool open);

    QList<QIcon> Images;
};

}  // namespace tavrin
