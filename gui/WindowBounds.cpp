#include "gui/WindowBounds.h"

#include <QWidget>

namespace tavrin {

void ApplyWindowBounds(QWidget& window, const TWindowBounds& bounds)
{
    const QRect outer = window.frameGeometry();
    // The window system adds the frame to the client size we set.
    const QSize frame = outer.size() - window.size();
    const int left = bounds.Left != -1 ? bounds.Left : outer.left();
    const int top = bounds.Top != -1 ? bounds.Top : outer.top();
    const int width = bounds.Width != -1 ? bounds.Width : outer.width();
    const int height = bounds.Height != -1 ? bounds.Height : outer.height();
    if (bounds.Left != -1 || bounds.Top != -1)
        window.move(left, top);
    window.resize(width - frame.width(), height - frame.height());
}

TWindowBounds CurrentWindowBounds(const QWidget& window)
{
    const QRect outer = window.frameGeometry();
    return TWindowBounds{outer.left(), outer.top(), outer.width(), outer.height()};
}

}  // namespace tavrin
