#include "gui/PreviewPicture.h"

#include <QFont>
#include <QPainter>

namespace tavrin {

QImage LoadPreviewPicture(const std::string& overviewFile)
{
    QImage picture(QString::fromStdString(overviewFile));
    return picture.isNull() ? picture : picture.convertToFormat(QImage::Format_RGB888);
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
