#include "gui/PageBuffersTab.h"

#include "gui/FormFields.h"
#include "gui/JobTreeWidget.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrin {

TPageBuffersTab::TPageBuffersTab(QWidget* parent) : QWidget(parent)
{
    JobList = new TJobTreeWidget(this);

    QPushButton* refresh = NewButton(this, "RefreshBtn", "Refresh", "Click to refresh the list of avaiable files. ");
    connect(refresh, &QPushButton::clicked, this, &TPageBuffersTab::RefreshClicked);

    QPushButton* add = NewButton(this, "AddToQueueBtn", "Add to Queue", "Click to add the selected item to the queue.");
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
