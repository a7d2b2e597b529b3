#pragma once

#include <QWidget>

namespace tavrin {

class TJobTreeWidget;

// The "Page Buffers" tab: the job tree with the Refresh and Add to Queue buttons.
class TPageBuffersTab final : public QWidget {
    Q_OBJECT
public:
    explicit TPageBuffersTab(QWidget* parent = nullptr);

    TJobTreeWidget* JobList = nullptr;

signals:
    void RefreshClicked();
    void AddToQueueClicked();
};

}  // namespace tavrin
