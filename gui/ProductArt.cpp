#include "gui/ProductArt.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

namespace tavrin {

namespace {

void DrawMark(QPainter& painter, const QRectF& square)
{
    const qreal disc = square.width() * 0.55;
    const QColor inks[] = {QColor(0, 174, 239, 210), QColor(236, 0, 140, 190), QColor(255, 242, 0, 200),
                           QColor(35, 31, 32, 200)};
    const QPointF corners[] = {square.topLeft(), QPointF(square.right() - disc, square.top()),
                               QPointF(square.left(), square.bottom() - disc),
                               QPointF(square.right() - disc, square.bottom() - disc)};
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        painter.setBrush(inks[i]);
        painter.drawEllipse(QRectF(corners[i], QSizeF(disc, disc)));
    }
}

}  // namespace

QPixmap ProductIcon(int size)
{
    QPixmap icon(size, size);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawMark(painter, QRectF(1, 1, size - 2, size - 2));
    return icon;
}

QPixmap SplashPicture()
{
    QPixmap picture(640, 480);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    // The panel: a rounded slate card; the white around it is see-through.
    const QRectF panel(40, 70, 550, 330);
    QLinearGradient shade(panel.topLeft(), panel.bottomLeft());
    shade.setColorAt(0, QColor(42, 58, 84));
    shade.setColorAt(1, QColor(22, 30, 46));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawRoundedRect(panel, 24, 24);

    DrawMark(painter, QRectF(80, 120, 120, 120));

    painter.setPen(QColor(250, 250, 250));
    QFont title("Arial", 44, QFont::Bold);
    painter.setFont(title);
    painter.drawText(QRectF(230, 120, 340, 70), Qt::AlignLeft | Qt::AlignVCenter, "Tavrin");
    QFont subtitle("Arial", 16);
    painter.setFont(subtitle);
    painter.drawText(QRectF(232, 190, 340, 40), Qt::AlignLeft | Qt::AlignVCenter, "Remote Proofing System");
    painter.setPen(QColor(170, 185, 205));
    QFont small("Arial", 10);
    painter.setFont(small);
    painter.drawText(QRectF(80, 300, 470, 60), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     "Soft proofs from the page buffers of your RIP, on the web for your customers.\nDranwick");
    return picture;
}

}  // namespace tavrin
