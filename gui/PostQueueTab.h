#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QDialog;
class QMenu;
class QPlainTextEdit;
class QThread;
class QTreeWidget;
class QTreeWidgetItem;

namespace tavrin {

class TCatalogueConnection;
class TQueueRunner;
class TStationLog;

// The post queue's columns: Customer names the recipients, Sent is when the
// mail went out, Last answer is in local time. The address the customer was
// sent is the row's hint and in its menu.
// What the operator follows up comes first: the list may be wider than its pane.
enum TPostQueueColumn {
    PostJobColumn,
    PostNameColumn,
    PostCustomerColumn,
    PostDueColumn,
    PostStatusColumn,
    PostAnswersColumn,
    PostLastAnswerColumn,
    PostSentColumn,
    PostRoundColumn,
    PostPagesColumn,
    PostDateColumn
};

// The "Post Queue" tab: the finished jobs, sortable by any column, with
// what their customers answered (a job with answers the operator has not
// seen yet in bold until its row is selected), with Delete (the job's files, locally and
// on the web server), Browse (its web page in the desktop's browser),
// "Refresh answers" and "Add answer from mail..."; a row's menu copies or
// opens its address, and for a later proof round compares it with the
// round before. The selected job's answers and their notes are listed
// below; double-clicking one opens the proof at its page, a note at its point.
class TPostQueueTab final : public QWidget {
    Q_OBJECT
public:
    // The answers shown come from the catalogue.
    TPostQueueTab(TQueueRunner& runner, TCatalogueConnection& catalogue, TStationLog& log, QWidget* parent = nullptr);
    // Waits for a compare still running: it reads the catalogue.
    ~TPostQueueTab() override;

    void ShowPostQueue();

    // The menu of a row ("Copy Link", "Open"; "Compare with round N" on a
    // later round's row), owned by the tab; the caller shows it. Copy Link
    // and Open are disabled for a job that was never transferred.
    QMenu* NewRowMenu(int row);

    // Shows a later round's compare with its earlier round in a dialog of
    // its own: the compare stored with its proof, or else one made now from
    // both rounds' masters on a thread of its own while the dialog shows it
    // is busy; a failure shows its reason there and in the log. Returns the
    // dialog (deleted when closed), or null for a first proof.
    QDialog* ShowRoundComparison(std::uint32_t jobReference);

    // Checks the job's plates against those its proof was made from, on a
    // thread of its own while a dialog shows it is busy, then shows there
    // page by page whether each is the same, and the problems, for the
    // operator to read or copy; the log gets the same lines, the catalogue
    // the result, and the post queue is reloaded (an approved job whose
    // plates are the same is "Ready for plates"). Returns the dialog
    // (deleted when closed).
    QDialog* ShowPlateVerification(std::uint32_t jobReference);

    // The page buffer folder the plates are read from, and the folder scan
    // that runs before a check so that plates added or removed since count
    // (the window sets both).
    std::function<std::string()> PageBufferFolder;
    std::function<void()> RescanPageBuffers;

    // Adds the answer blocks of a pasted mail; a box tells what was taken
    // and what was not, and why.
    void AddAnswersFromMail(const QString& mailText);

    // Opens an address in the desktop's browser; false when that failed.
    std::function<bool(const QUrl&)> OpenUrl;

signals:
    // A word for the window's status bar.
    void StatusText(const QString& text);

private:
    void OpenWebPage();
    // Opens the selected job's proof where the answers panel's item points.
    void OpenAnswerSpot(const QTreeWidgetItem* item);
    void ShowNews();
    void ShowRowMenu(const QPoint& position);
    void ShowAnswers();
    void AskForMail();

    TQueueRunner& Runner;
    TCatalogueConnection& Catalogue;
    TStationLog& Log;
    QTreeWidget* PostQueueListView = nullptr;
    QTreeWidget* AnswersView = nullptr;
    std::vector<QPointer<QThread>> CompareThreads;
};

}  // namespace tavrin
