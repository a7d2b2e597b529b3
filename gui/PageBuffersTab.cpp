#include "gui/PageBuffersTab.h"

#include "gui/JobTreeWidget.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrin {

TPageBuffersTab::TPageBuffersTab(QWidget* parent) : QWidget(parent)
{
    JobList = new TJobTreeWidget(this);

    auto* refresh = new QPushButton("Refresh", this);
    refresh->setObjectName("RefreshBtn");
    refresh->setToolTip("Click to refresh the list of avaiable files. ");
    connect(refresh, &QPushButton::clicked, this, &TPageBuffersTab::RefreshClicked);

    auto* add = new QPushButton("Add to Queue", this);
    add->setObjectName("AddToQueueBtn");
    add->setToolTip("Click to add the selected item to the queue.");
    connect(add, &QPushButton::clicked, this, &TPageBuffersTab::AddToQueueClicked);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh);
    buttons->addWidget(add);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(JobList);
    layout->addLayout(buttons);
}

}  // namespace tavrin
