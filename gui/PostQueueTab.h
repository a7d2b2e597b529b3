#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>

class QMenu;
class QPlainTextEdit;
class QTreeWidget;

namespace tavrin {

class TCatalogueConnection;
class TQueueRunner;
class TStationLog;

// The post queue's columns; Proof is the address the customer was sent.
enum TPostQueueColumn {
    PostJobColumn,
    PostNameColumn,
    PostPagesColumn,
    PostDateColumn,
    PostRoundColumn,
    PostStatusColumn,
    PostAnswersColumn,
    PostLastAnswerColumn,
    PostProofColumn
};

// The "Post Queue" tab: the finished jobs with their proof addresses and
// what their customers answered, with Delete (the job's files, locally and
// on the web server), Browse (its web page in the desktop's browser),
// "Refresh answers" and "Add answer from mail..."; a row's menu copies or
// opens its address. The selected job's answers show as plain text below.
class TPostQueueTab final : public QWidget {
    Q_OBJECT
public:
    // The answers shown come from the catalogue.
    TPostQueueTab(TQueueRunner& runner, TCatalogueConnection& catalogue, TStationLog& log, QWidget* parent = nullptr);

    void ShowPostQueue();

    // The menu of a row ("Copy Link", "Open"), owned by the tab; the caller
    // shows it. Both are disabled for a job that was never transferred.
    QMenu* NewRowMenu(int row);

    // Adds the answer blocks of a pasted mail; a box tells what was taken
    // and what was not, and why.
    void AddAnswersFromMail(const QString& mailText);

    // Opens an address in the desktop's browser; false when that failed.
    std::function<bool(const QUrl&)> OpenUrl;

private:
    void OpenWebPage();
    void ShowRowMenu(const QPoint& position);
    void ShowAnswers();
    void AskForMail();

    TQueueRunner& Runner;
    TCatalogueConnection& Catalogue;
    TStationLog& Log;
    QTreeWidget* PostQueueListView = nullptr;
    QPlainTextEdit* AnswersView = nullptr;
};

}  // namespace tavrin
