#include "gui/AboutBox.h"

#include "gui/ProductArt.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace tavrin {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutBox");
    setWindowTitle("About");
    setFixedSize(321, 261);

    auto* icon = new QLabel(this);
    icon->setGeometry(10, 14, 33, 33);
    icon->setPixmap(ProductIcon(33));

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    ok->setGeometry(123, 222, 75, 25);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QStringList TAboutBox::Lines()
{
    return {"Tavrin",
            "Version " TAVRIN_FILE_VERSION,
            "Remote Proofing System",
            "Dranwick",
            "Soft proofs from Harlequin page buffers,",
            "delivered to the web."};
}

void TAboutBox::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(QColor(0x44, 0x44, 0x44));
    int y = 15;
    for (const QString& line : Lines()) {
        painter.drawText(QRect(55, y, width() - 60, 15), Qt::AlignLeft | Qt::AlignTop, line);
        y += 15;
    }
}

void TAboutBox::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

}  // namespace tavrin
