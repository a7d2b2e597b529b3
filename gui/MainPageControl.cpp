#include "gui/MainPageControl.h"

#include <QDragMoveEvent>

namespace tavrin {

TMainPageControl::TMainPageControl(QWidget* parent) : QTabWidget(parent)
{
    setObjectName("MainPageControl");
    setAcceptDrops(true);
}

void TMainPageControl::dragEnterEvent(QDragEnterEvent* event)
{
    if (QueuePage)
        setCurrentWidget(QueuePage);
    // Accepted for now, so that the moves that follow arrive here and are refused.
    event->acceptProposedAction();
}

void TMainPageControl::dragMoveEvent(QDragMoveEvent* event)
{
    if (QueuePage)
        setCurrentWidget(QueuePage);
    event->ignore();
}

}  // namespace tavrin
