#pragma once

#include "station/QueueRunner.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QTabWidget;
class QTimer;

namespace tavrin {

class TAboutBox;
class TConfigDlg;
class TContactDlg;
class TDesktopNotifier;
class THintFilter;
class TLogTab;
class TMainPageControl;
class TOperatorDialogs;
class TPageBuffersTab;
class TPostQueueTab;
class TPreviewTab;
class TProgressStrip;
class TQueueTab;
class TSplashForm;
class TStartupOperation;
class TStationLog;

// The station's main window: the job tree on the left, the queue, post
// queue, preview and log on the right, two progress bars below (its
// measures are in MainFormLayout.h). It
// shows the runner's lists and calls its operations; it also creates the
// configuration dialog, the about box and the address book, in that order.
class TMainForm final : public QMainWindow, public TRunnerObserver {
    Q_OBJECT
public:
    // How often the idle station fetches the customers' answers.
    static constexpr int AnswersRefreshInterval = 5 * 60 * 1000;

    // Operator questions of the window go through dialogs (the runner's own).
    TMainForm(TQueueRunner& runner, TStartupOperation& startup, TStationLog& log, TOperatorDialogs& dialogs,
              QWidget* parent = nullptr);
    ~TMainForm() override;

    // The start-up operation with the window's part: the stored bounds at the
    // first run only (when the window is shown), the Show Hints tick from the settings, the job tree.
    // Its errors are shown and logged; the window stays usable.
    void RunStartup();

    // The station's start: the splash first, then the start-up with the
    // window still hidden (its boxes close the splash), then the window.
    void StartUnderSplash(TSplashForm& splash);

    // The upload of the shared web files ("Transfer Common Files"); the menu
    // item is disabled while there is none.
    void SetCommonFilesTransfer(std::function<void()> transfer);

    // What tells the operator of new answers on the desktop (the desktop's own unless set).
    void SetNotifier(std::unique_ptr<TDesktopNotifier> notifier);

    void QueueChanged() override;
    void PostQueueChanged() override;
    void RecipientsChanged() override;
    void ProgressChanged() override;
    void QueueControlsChanged() override;
    void ActivityChanged() override;
    // One box per failed task; it does not wait for the operator, so the
    // queue goes on with the next job meanwhile.
    void TaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason) override;
    // The status bar and a desktop notification tell of them.
    void AnswersArrived(const std::vector<TAnswerNews>& news) override;
    // The failures of one Start are gathered while its chain runs and shown
    // in one box, naming every failed job, when the chain stops.
    void ChainTaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason) override;
    void ChainStopped() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* NewPageControls();
    void CreateMenus();
    void ApplyLayoutRule();
    void KeepRoomForPageControls();
    void ShowJobTree();
    void DropJob();
    void AddToQueue();
    void AddRecipient();
    void DrawPreview();
    void Configure();
    void SetShowHints(bool show);
    void ShowFinishing();

    TQueueRunner& Runner;
    TStartupOperation& Startup;
    TStationLog& Log;
    TOperatorDialogs& Dialogs;
    std::function<void()> TransferCommonFiles;

    QWidget* PageControlArea = nullptr;
    QTabWidget* InputsPageControl = nullptr;
    TMainPageControl* MainPageControl = nullptr;
    TPageBuffersTab* PageBuffers = nullptr;
    TQueueTab* QueueTab = nullptr;
    TPostQueueTab* PostQueueTab = nullptr;
    QTimer* AnswersTimer = nullptr;
    TPreviewTab* PreviewTab = nullptr;
    TLogTab* LogTab = nullptr;
    TProgressStrip* ProgressStrip = nullptr;
    QAction* TransferCommonFilesItem = nullptr;
    QAction* ShowHintsItem = nullptr;
    THintFilter* Hints = nullptr;
    std::unique_ptr<TDesktopNotifier> Notifier;

    TConfigDlg* ConfigDlg = nullptr;
    TAboutBox* AboutBox = nullptr;
    TContactDlg* ContactDlg = nullptr;

    // The operator asked to close while a task ran: the window waits, disabled, for it to end.
    bool CloseWhenIdle = false;
    // The running chain's failures not shown yet: "Master failed for job 12:\nREASON".
    std::vector<std::string> ChainFailures;
};

}  // namespace tavrin
