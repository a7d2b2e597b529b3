#include "gui/MainForm.h"

#include "base/settings/SettingsFile.h"
#include "base/settings/SharedSettings.h"
#include "base/tasking/StationLog.h"
#include "gui/AboutBox.h"
#include "gui/ConfigDlg.h"
#include "gui/ContactDlg.h"
#include "gui/DesktopNotifier.h"
#include "gui/ErrorBox.h"
#include "gui/HintFilter.h"
#include "gui/JobTreeWidget.h"
#include "gui/LogTab.h"
#include "gui/MainFormLayout.h"
#include "gui/MainPageControl.h"
#include "gui/PageBuffersTab.h"
#include "gui/PostQueueTab.h"
#include "gui/PreviewTab.h"
#include "gui/ProgressStrip.h"
#include "gui/QueueListWidget.h"
#include "gui/QueueTab.h"
#include "gui/SplashForm.h"
#include "gui/TiffTab.h"
#include "gui/WindowBounds.h"
#include "gui/WindowFit.h"
#include "station/ConfigurationRules.h"
#include "station/OperatorDialogs.h"
#include "station/StartupOperation.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tavrin {

TMainForm::TMainForm(TQueueRunner& runner, TStartupOperation& startup, TStationLog& log, TOperatorDialogs& dialogs,
                     QWidget* parent)
    : QMainWindow(parent), Runner(runner), Startup(startup), Log(log), Dialogs(dialogs)
{
    setObjectName("MainForm");
    setWindowTitle("Dranwick Tavrin Remote Proofing System");
    Hints = new THintFilter(this);
    qApp->installEventFilter(Hints);

    auto* panel4 = new QWidget(this);
    panel4->setObjectName("Panel4");
    panel4->setFixedHeight(MainFormLayout::TopStripHeight);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(panel4);
    layout->addWidget(NewPageControls(), 1);
    ProgressStrip = new TProgressStrip(this);
    ProgressStrip->Show(Runner);
    layout->addWidget(ProgressStrip);
    setCentralWidget(central);
    CreateMenus();

    Runner.Observer = this;
    Notifier = NewDesktopNotifier();
    // The windows the main window opens, created once, in this order.
    ConfigDlg = new TConfigDlg(this);
    AboutBox = new TAboutBox(this);
    ContactDlg = new TContactDlg(Startup.Catalogue(), this);

    // While the station is idle it looks for the customers' answers now and then.
    AnswersTimer = new QTimer(this);
    AnswersTimer->setObjectName("AnswersTimer");
    AnswersTimer->setInterval(AnswersRefreshInterval);
    connect(AnswersTimer, &QTimer::timeout, this,
            [this] { RunReportingErrors(this, [&] { Runner.RefreshAnswersIfIdle(); }); });
    AnswersTimer->start();

    KeepRoomForPageControls();
    // Half the width for the queue's side, and that half as wide as the queue's columns.
    FitToContents(*this,
                  {MainFormLayout::OpeningWidth(MainPageControl->sizeHint().width()), MainFormLayout::DesignHeight});
}

// The area is as large as both page controls need side by side at the
// desktop's font, and at least the design's height.
void TMainForm::KeepRoomForPageControls()
{
    PageControlArea->setMinimumSize(MainFormLayout::PageControlAreaMinimum(InputsPageControl->minimumSizeHint(),
                                                                           MainPageControl->minimumSizeHint()));
}

TMainForm::~TMainForm()
{
    Runner.Observer = nullptr;
    qApp->removeEventFilter(Hints);
}

QWidget* TMainForm::NewPageControls()
{
    PageControlArea = new QWidget(this);

    InputsPageControl = new QTabWidget(PageControlArea);
    InputsPageControl->setObjectName("InputsPageControl");
    PageBuffers = new TPageBuffersTab(InputsPageControl);
    InputsPageControl->addTab(PageBuffers, "Page Buffers");
    InputsPageControl->addTab(new TTiffTab(InputsPageControl), "Tiff");
    connect(PageBuffers, &TPageBuffersTab::RefreshClicked, this, [this] {
        RunReportingErrors(this, [&] { Startup.RebuildJobTree(); });
        ShowJobTree();
    });
    connect(PageBuffers, &TPageBuffersTab::AddToQueueClicked, this, &TMainForm::AddToQueue);
    connect(PageBuffers->JobList, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (MainPageControl->currentWidget() == PreviewTab)
            DrawPreview();
    });

    MainPageControl = new TMainPageControl(PageControlArea);
    QueueTab = new TQueueTab(Runner, MainPageControl);
    PostQueueTab = new TPostQueueTab(Runner, Startup.Catalogue(), Log, MainPageControl);
    PostQueueTab->PageBufferFolder = [this] { return Startup.Settings().Copy().InputFolder; };
    PostQueueTab->RescanPageBuffers = [this] {
        Startup.RebuildJobTree();
        ShowJobTree();
    };
    PreviewTab = new TPreviewTab(Startup.Catalogue(), MainPageControl);
    LogTab = new TLogTab(Log, MainPageControl);
    MainPageControl->addTab(QueueTab, "Queue");
    MainPageControl->addTab(PostQueueTab, "Post Queue");
    MainPageControl->addTab(PreviewTab, "Preview");
    MainPageControl->addTab(LogTab, "Log");
    MainPageControl->QueuePage = QueueTab;
    MainPageControl->setCurrentWidget(QueueTab);
    connect(QueueTab, &TQueueTab::JobDropped, this, &TMainForm::DropJob);
    connect(QueueTab, &TQueueTab::AddRecipientClicked, this, &TMainForm::AddRecipient);
    connect(PreviewTab, &TPreviewTab::PageChanged, this, &TMainForm::DrawPreview);
    connect(PostQueueTab, &TPostQueueTab::StatusText, this,
            [this](const QString& text) { statusBar()->showMessage(text); });
    connect(MainPageControl, &QTabWidget::currentChanged, this, [this] {
        if (MainPageControl->currentWidget() == PreviewTab)
            DrawPreview();
    });
    return PageControlArea;
}

void TMainForm::CreateMenus()
{
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("&Configure", this, &TMainForm::Configure)->setObjectName("ConfigureItem");
    file->addAction("&Address Book", this, [this] { ContactDlg->exec(); })->setObjectName("AddressBookItem");
    TransferCommonFilesItem = file->addAction("Transfer Common Files", this, [this] {
        if (TransferCommonFiles)
            RunReportingErrors(this, TransferCommonFiles);
    });
    TransferCommonFilesItem->setObjectName("TransferCommonFilesItem");
    TransferCommonFilesItem->setEnabled(false);
    file->addAction("E&xit", this, &QWidget::close)->setObjectName("ExitItem");

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("&About", this, [this] { AboutBox->exec(); })->setObjectName("AboutItem");
    ShowHintsItem = help->addAction("&Show Hints");
    ShowHintsItem->setObjectName("ShowHintsItem");
    ShowHintsItem->setCheckable(true);
    connect(ShowHintsItem, &QAction::toggled, this, [this](bool show) { Hints->SetShowHints(show); });
}

void TMainForm::SetCommonFilesTransfer(std::function<void()> transfer)
{
    TransferCommonFiles = std::move(transfer);
    TransferCommonFilesItem->setEnabled(static_cast<bool>(TransferCommonFiles));
}

// ---- Start-up and shutdown -----------------------------------------------------

void TMainForm::RunStartup()
{
    // A hidden window gets them once shown, when its frame is known.
    if (!Startup.FirstRunDone() && isVisible())
        RunReportingErrors(this, [&] { ApplyWindowBounds(*this, LoadWindowBounds()); });
    try {
        Startup.Run();
    } catch (const std::exception& error) {
        // The station cannot work without its catalogue: say why, and stay open for the log.
        Log.Log(error.what());
        ShowErrorBox(this, error);
    }
    SetShowHints(Startup.Settings().Copy().ShowHint);
    ShowJobTree();
}

void TMainForm::StartUnderSplash(TSplashForm& splash)
{
    splash.ShowNow();
    const bool firstRun = !Startup.FirstRunDone();
    RunStartup();
    show();
    if (firstRun)
        RunReportingErrors(this, [&] { ApplyWindowBounds(*this, LoadWindowBounds()); });
    // The splash stays in front of the window for the rest of its time.
    if (splash.isVisible())
        splash.raise();
}

void TMainForm::SetShowHints(bool show)
{
    ShowHintsItem->setChecked(show);
    Hints->SetShowHints(show);
}

// A task still running would leave a master or an upload half done, and the
// station's lock must stay held while it runs: the window waits for it,
// disabled and saying so, and closes when it has ended.
void TMainForm::closeEvent(QCloseEvent* event)
{
    if (Runner.HasRunningTasks()) {
        event->ignore();
        if (!CloseWhenIdle) {
            CloseWhenIdle = true;
            Runner.BeginShutdown();
            centralWidget()->setEnabled(false);
            menuBar()->setEnabled(false);
        }
        ShowFinishing();
        return;
    }
    RunReportingErrors(this, [&] { SaveWindowBounds(CurrentWindowBounds(*this)); });
    QMainWindow::closeEvent(event);
}

void TMainForm::ShowFinishing()
{
    statusBar()->setObjectName("FinishingBar");
    statusBar()->showMessage(QString::fromStdString(Runner.FinishingText()));
}

// ---- Layout ---------------------------------------------------------------------

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    ApplyLayoutRule();
}

// The two page controls share the outer width, half and half unless the
// queue's side needs more at the desktop's font; their height stays.
void TMainForm::ApplyLayoutRule()
{
    const MainFormLayout::TPageControlColumns columns =
        MainFormLayout::PageControlColumns(frameGeometry().width(), MainPageControl->minimumSizeHint().width());
    const int height = PageControlArea->minimumHeight();
    InputsPageControl->setGeometry(0, 0, columns.InputsWidth, height);
    MainPageControl->setGeometry(columns.MainLeft, 0, columns.MainWidth, height);
}

// ---- Handlers -------------------------------------------------------------------

void TMainForm::ShowJobTree()
{
    PageBuffers->JobList->ShowTree(Startup.Tree());
}

void TMainForm::DropJob()
{
    const std::optional<std::int32_t> job = PageBuffers->JobList->SelectedJobReference();
    if (job)
        RunReportingErrors(this, [&] { Runner.DropJobAskingRound(static_cast<std::uint32_t>(*job)); });
}

void TMainForm::AddToQueue()
{
    if (!PageBuffers->JobList->SelectedJobReference()) {
        Dialogs.Tell("Error", "Please select a job", TDialogIcon::Warning);
        return;
    }
    DropJob();
}

void TMainForm::AddRecipient()
{
    if (ContactDlg->exec() != QDialog::Accepted)
        return;
    const std::optional<TContactRow> contact = ContactDlg->SelectedContact();
    if (!contact) {
        Dialogs.Tell("Error", "No contact was selected.", TDialogIcon::Warning);
        return;
    }
    RunReportingErrors(this, [&] { Runner.AddRecipient(contact->AddressID, contact->Email); });
}

void TMainForm::DrawPreview()
{
    RunReportingErrors(this, [&] { PreviewTab->DrawPreview(PageBuffers->JobList->SelectedJobReference()); });
}

void TMainForm::Configure()
{
    ConfigDlg->Load(Startup.Settings().Copy());
    const bool accepted = ConfigDlg->exec() == QDialog::Accepted;
    RunReportingErrors(this, [&] {
        KeepConfiguration(Startup.Settings(), ConfigDlg->Settings(), accepted, ShowHintsItem->isChecked());
    });
    RunStartup();
}

// ---- What the runner tells ---------------------------------------------------------

void TMainForm::QueueChanged()
{
    QueueTab->ShowQueue();
}

void TMainForm::PostQueueChanged()
{
    PostQueueTab->ShowPostQueue();
}

void TMainForm::RecipientsChanged()
{
    QueueTab->ShowRecipients();
}

void TMainForm::ProgressChanged()
{
    ProgressStrip->Show(Runner);
}

void TMainForm::ActivityChanged()
{
    QueueTab->ShowQueue();
    ProgressStrip->Show(Runner);
    if (!CloseWhenIdle)
        return;
    if (Runner.HasRunningTasks())
        ShowFinishing();
    else
        QTimer::singleShot(0, this, &QWidget::close);
}

void TMainForm::QueueControlsChanged()
{
    QueueTab->ShowQueueControls();
}

void TMainForm::SetNotifier(std::unique_ptr<TDesktopNotifier> notifier)
{
    Notifier = std::move(notifier);
}

void TMainForm::AnswersArrived(const std::vector<TAnswerNews>& news)
{
    QStringList lines;
    for (const TAnswerNews& job : news)
        lines << QString::fromStdString(AnswerNewsText(job.JobReference, job.Count, job.AnswerStatus));
    statusBar()->showMessage(lines.join("; "));
    if (Notifier)
        Notifier->Notify("New answers", lines.join('\n'));
}

namespace {

std::string FailureText(std::uint32_t jobReference, const std::string& task, const std::string& reason)
{
    return task + " failed" + (jobReference ? " for job " + std::to_string(jobReference) : "") + ":\n" + reason;
}

void OpenFailureBox(QWidget* owner, const std::string& text)
{
    auto* box = new QMessageBox(QMessageBox::Warning, "Error", QString::fromStdString(text), QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName("TaskFailedBox");
    box->open();
}

}  // namespace

void TMainForm::TaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason)
{
    OpenFailureBox(this, FailureText(jobReference, task, reason));
}

void TMainForm::ChainTaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason)
{
    ChainFailures.push_back(FailureText(jobReference, task, reason));
}

void TMainForm::ChainStopped()
{
    if (ChainFailures.empty())
        return;
    std::string text =
        ChainFailures.size() == 1 ? std::string() : std::to_string(ChainFailures.size()) + " jobs failed:\n\n";
    for (std::size_t i = 0; i < ChainFailures.size(); ++i)
        text += (i ? "\n\n" : "") + ChainFailures[i];
    ChainFailures.clear();
    OpenFailureBox(this, text);
}

}  // namespace tavrin
