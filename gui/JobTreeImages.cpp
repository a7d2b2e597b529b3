#include "gui/JobTreeImages.h"

#include "base/catalogue/JobTree.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace tavrin {

namespace {

constexpr int ImageSize = 16;

QPixmap EmptyImage()
{
    QPixmap image(ImageSize, ImageSize);
    image.fill(Qt::transparent);
    return image;
}

// A job: a folder, its flap lifted when the job is open.
QIcon JobImage(bool open)
{
    QPixmap image = EmptyImage();
    QPainter painter(&image);
    painter.setPen(QColor(128, 96, 0));
    painter.setBrush(QColor(240, 200, 80));
    painter.drawRect(1, 3, 6, 2);
    if (open) {
        painter.drawRect(1, 5, 12, 9);
        painter.setBrush(QColor(255, 228, 128));
        painter.drawPolygon(QPolygon({QPoint(3, 8), QPoint(15, 8), QPoint(13, 14), QPoint(1, 14)}));
    } else {
        painter.drawRect(1, 5, 13, 9);
    }
    return QIcon(image);
}

// A plate: a sheet with a band of its ink.
QIcon PlateImage(const QColor& ink)
{
    QPixmap image = EmptyImage();
    QPainter painter(&image);
    painter.setPen(QColor(96, 96, 96));
    painter.setBrush(Qt::white);
    painter.drawRect(2, 0, 11, 15);
    painter.fillRect(4, 2, 8, 12, ink);
    return QIcon(image);
}

QIcon SwatchImage(const TSwatchImage& swatch)
{
    QImage image(TSwatchImage::Size, TSwatchImage::Size, QImage::Format_RGB888);
    for (int y = 0; y < TSwatchImage::Size; ++y)
        for (int x = 0; x < TSwatchImage::Size; ++x) {
            const auto rgb = swatch.Pixel(x, y);
            image.setPixelColor(x, y, QColor(rgb[0], rgb[1], rgb[2]));
        }
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace

QList<QIcon> JobTreeImages(const TJobTree& tree)
{
    QList<QIcon> images = {JobImage(false),
                           JobImage(true),
                           PlateImage(QColor(0, 174, 239)),
                           PlateImage(QColor(236, 0, 140)),
                           PlateImage(QColor(255, 242, 0)),
                           PlateImage(QColor(35, 31, 32)),
                           PlateImage(QColor(160, 160, 160))};
    for (const TSwatchImage& swatch : tree.Swatches)
        images.append(SwatchImage(swatch));
    return images;
}

}  // namespace tavrin
