#include "gui/PreviewPicture.h"

#include "engines/imaging/PreviewBitmap.h"

#include <QFont>
#include <QPainter>

#include <stdexcept>

namespace tavrin {

QImage LoadPreviewPicture(const std::string& overviewFile)
{
    TPreviewBitmap bitmap;
    try {
        bitmap = LoadPreviewBitmap(overviewFile);
    } catch (const std::runtime_error&) {
        // A missing or spoilt overview is no error here: the tab says the
        // preview is not available.
        return QImage();
    }
    if (bitmap.Empty())
        return QImage();
    // The bitmap's rows are packed red, green, blue: the layout of RGB888.
    const QImage view(bitmap.Bytes.data(), static_cast<int>(bitmap.Width), static_cast<int>(bitmap.Height),
                      static_cast<qsizetype>(bitmap.Width) * 3, QImage::Format_RGB888);
    return view.copy();
}

QImage PreviewNotAvailablePicture()
{
    QImage picture(288, 288, QImage::Format_RGB888);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    QFont font("Arial");
    font.setPointSize(20);
    painter.setFont(font);
    painter.setPen(Qt::black);
    // The text's top left corner sits at the given point, as a GDI TextOut puts it.
    painter.drawText(QRect(20, 124, 268, 164), Qt::AlignLeft | Qt::AlignTop, "Preview not available");
    return picture;
}

}  // namespace tavrin
