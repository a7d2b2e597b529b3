#include "gui/WindowBounds.h"

#include "gui/WindowFit.h"

#include <QWidget>

namespace tavrin {

void ApplyWindowBounds(QWidget& window, const TWindowBounds& bounds)
{
    const QRect outer = window.frameGeometry();
    // The window system adds the frame to the client size we set.
    const QSize frame = outer.size() - window.size();
    // A bound not stored keeps the size the window has from its contents (at least the design's).
    TWindowBounds placed = bounds;
    placed.Width = bounds.Width != -1 ? bounds.Width : outer.width();
    placed.Height = bounds.Height != -1 ? bounds.Height : outer.height();
    if (bounds.Left != -1 || bounds.Top != -1)
        window.move(bounds.Left != -1 ? bounds.Left : outer.left(), bounds.Top != -1 ? bounds.Top : outer.top());
    // Bounds kept on a larger screen, or at a smaller scale, give way to this screen's room.
    window.resize(QSize(placed.Width - frame.width(), placed.Height - frame.height()).boundedTo(AvailableRoom(window)));
}

TWindowBounds CurrentWindowBounds(const QWidget& window)
{
    const QRect outer = window.frameGeometry();
    return TWindowBounds{outer.left(), outer.top(), outer.width(), outer.height()};
}

}  // namespace tavrin
