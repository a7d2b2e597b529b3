#pragma once

#include <QWidget>

class QProgressBar;

namespace tavrin {

class TQueueRunner;

// The strip below the page controls: the upper bar follows the running task
// through its job, the lower one the step it is on; both say whose they are.
class TProgressStrip final : public QWidget {
    Q_OBJECT
public:
    explicit TProgressStrip(QWidget* parent = nullptr);

    // The runner's bars, and what they belong to.
    void Show(const TQueueRunner& runner);

private:
    QProgressBar* TotalProgress = nullptr;
    QProgressBar* TaskProgress = nullptr;
};

}  // namespace tavrin
