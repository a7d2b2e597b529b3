#include "gui/AboutBox.h"

#include "gui/ProductArt.h"
#include "gui/WindowFit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace tavrin {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutBox");
    setWindowTitle("About");

    auto* icon = new QLabel(this);
    icon->setPixmap(ProductIcon(33));
    icon->setFixedSize(33, 33);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(0);
    for (const QString& text : Lines()) {
        auto* line = new QLabel(text, this);
        line->setObjectName("AboutLine");
        QFont bold = line->font();
        bold.setBold(true);
        line->setFont(bold);
        QPalette palette = line->palette();
        palette.setColor(QPalette::WindowText, QColor(0x44, 0x44, 0x44));
        line->setPalette(palette);
        lines->addWidget(line);
    }
    lines->addStretch();

    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(lines, 1);

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 14, 10, 14);
    layout->addLayout(top, 1);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    FitToContents(*this, {DesignWidth, DesignHeight});
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

void TAboutBox::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

}  // namespace tavrin
