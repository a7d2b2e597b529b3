#pragma once

#include <QTabWidget>

namespace tavrin {

// The main window's right-hand page control. Nothing can be dropped on it,
// but dragging over it brings the Queue tab forward, so that a job dragged
// towards the tabs lands on the queue.
class TMainPageControl final : public QTabWidget {
    Q_OBJECT
public:
    explicit TMainPageControl(QWidget* parent = nullptr);

    QWidget* QueuePage = nullptr;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
};

}  // namespace tavrin
