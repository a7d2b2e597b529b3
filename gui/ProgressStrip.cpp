#include "gui/ProgressStrip.h"

#include "gui/MainFormLayout.h"
#include "station/QueueRunner.h"

#include <QProgressBar>
#include <QVBoxLayout>

namespace tavrin {

TProgressStrip::TProgressStrip(QWidget* parent) : QWidget(parent)
{
    setObjectName("Panel6");
    setMinimumHeight(MainFormLayout::ProgressStripHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 1, 0, 1);
    layout->setSpacing(0);
    for (QProgressBar** bar : {&TotalProgress, &TaskProgress}) {
        *bar = new QProgressBar(this);
        (*bar)->setRange(0, 100);
        (*bar)->setMinimumHeight(MainFormLayout::ProgressBarHeight);
        (*bar)->setAlignment(Qt::AlignCenter);
        layout->addWidget(*bar);
    }
    TotalProgress->setObjectName("TotalProgress");
    TaskProgress->setObjectName("TaskProgress");
}

void TProgressStrip::Show(const TQueueRunner& runner)
{
    TotalProgress->setValue(runner.TotalProgress());
    TaskProgress->setValue(runner.TaskProgress());
    const std::optional<TRunnerActivity>& activity = runner.Activity();
    if (!activity) {
        TotalProgress->setFormat(runner.RefreshingAnswers() ? "Fetching the customers' answers: %p%"
                                                            : "No task running");
        TaskProgress->setFormat("");
        return;
    }
    const QString task = QString::fromStdString(TaskWords[static_cast<std::size_t>(activity->Task)]);
    TotalProgress->setFormat(QString("%1 for job %2: %p%").arg(task).arg(activity->JobReference));
    TaskProgress->setFormat(QString::fromStdString(ActivityText(*activity)) + ", this step: %p%");
}

}  // namespace tavrin
