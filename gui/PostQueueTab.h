#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>

class QTreeWidget;

namespace tavrin {

class TOperatorDialogs;
class TQueueRunner;

// The "Post Queue" tab: the finished jobs, with Delete (the job's files,
// locally and on the web server) and Browse (its web page in the desktop's
// browser).
class TPostQueueTab final : public QWidget {
    Q_OBJECT
public:
    TPostQueueTab(TQueueRunner& runner, TOperatorDialogs& dialogs, QWidget* parent = nullptr);

    void ShowPostQueue();

    // Opens an address in the desktop's browser; false when that failed.
    std::function<bool(const QUrl&)> OpenUrl;

private:
    void OpenWebPage();

    TQueueRunner& Runner;
    TOperatorDialogs& Dialogs;
    QTreeWidget* PostQueueListView = nullptr;
};

}  // namespace tavrin
