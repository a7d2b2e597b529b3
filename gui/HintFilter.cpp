#include "gui/HintFilter.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace tavrin {

THintFilter::THintFilter(QObject* parent) : QObject(parent) {}

bool THintFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    if (!ShowHints)
        return true;  // swallowed: no hint at all
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->toolTip().isEmpty())
        return QObject::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    QToolTip::showText(help->globalPos(), widget->toolTip(), widget, QRect(), HintPauseMilliseconds);
    return true;
}

}  // namespace tavrin
