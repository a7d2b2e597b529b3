#include "gui/TiffTab.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tavrin {

TTiffTab::TTiffTab(QWidget* parent) : QWidget(parent)
{
    auto* label = new QLabel("Not yet implemented", this);
    label->setObjectName("Label1");
    QFont font = label->font();
    font.setPointSize(18);
    label->setFont(font);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label, 0, Qt::AlignCenter);
}

}  // namespace tavrin
