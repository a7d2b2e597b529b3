#include "gui/PostQueueTab.h"

#include "base/tasking/StationLog.h"
#include "gui/AddressBox.h"
#include "gui/ErrorBox.h"
#include "gui/FormFields.h"
#include "gui/LinesDialog.h"
#include "gui/ListTexts.h"
#include "gui/ListWidgets.h"
#include "station/JobAnswers.h"
#include "station/PlateVerification.h"
#include "station/QueueRunner.h"
#include "station/RoundComparison.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QVBoxLayout>

#include <memory>
#include <optional>

namespace tavrin {

namespace {

// What an item of the answers panel points at: its page, and a note's point.
constexpr int AnswerPageRole = Qt::UserRole + 1;
constexpr int AnswerPointRole = Qt::UserRole + 2;

// What a compare made on its own thread left for the window.
struct TCompareOutcome {
    std::optional<TRoundComparisonLines> Comparison;
    std::string Failure;
};

QString JoinedLines(const std::vector<std::string>& lines)
{
    QStringList joined;
    for (const std::string& line : lines)
        joined << QString::fromStdString(line);
    return joined.join('\n');
}

void ShowComparisonLines(const TLinesDialog& parts, const TRoundComparisonLines& comparison)
{
    parts.ShowResult(QString::fromStdString(RoundComparisonHeading(comparison)), JoinedLines(comparison.Lines));
}

}  // namespace

TPostQueueTab::TPostQueueTab(TQueueRunner& runner, TCatalogueConnection& catalogue, TStationLog& log, QWidget* parent)
    : QWidget(parent), OpenUrl(&QDesktopServices::openUrl), Runner(runner), Catalogue(catalogue), Log(log)
{
    auto* listGroup = new QGroupBox("Post Queue", this);
    PostQueueListView = NewReportList(listGroup, "PostQueueListView",
                                      {{"Job", 40},
                                       {"Name", 160},
                                       {"Customer", 120},
                                       {"Due", 70},
                                       {"Status", 60},
                                       {"Answers", 110},
                                       {"Last answer", 110},
                                       {"Sent", 110},
                                       {"Round", 60},
                                       {"Pages", 40},
                                       {"Date", 100}},
                                      "Displays items that have already been processed.");
    MakeSortable(*PostQueueListView);
    PostQueueListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PostQueueListView, &QWidget::customContextMenuRequested, this, &TPostQueueTab::ShowRowMenu);
    connect(PostQueueListView, &QTreeWidget::itemSelectionChanged, this, [this] {
        Runner.SelectPostQueueRow(SelectedRow(*PostQueueListView));
        ShowNews();
        ShowAnswers();
    });
    connect(PostQueueListView, &QTreeWidget::itemDoubleClicked, this, &TPostQueueTab::OpenWebPage);
    const auto deleteJob = [this] { RunReportingErrors(window(), [&] { Runner.DeleteFromPostQueue(); }); };
    OnDeleteKey(*PostQueueListView, deleteJob);
    // Plain text items only: whatever a customer typed is shown as typed, never interpreted.
    AnswersView = new QTreeWidget(listGroup);
    AnswersView->setObjectName("PostQueueAnswersView");
    AnswersView->setHeaderHidden(true);
    AnswersView->setColumnCount(1);
    AnswersView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    AnswersView->setExpandsOnDoubleClick(false);
    AnswersView->setTextElideMode(Qt::ElideNone);
    AnswersView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    AnswersView->header()->setStretchLastSection(false);
    AnswersView->setToolTip("The selected job's answers. Double-click an answer to open the proof at its page, a "
                            "note to open it at the note's spot.");
    connect(AnswersView, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { OpenAnswerSpot(item); });
    auto* listLayout = new QVBoxLayout(listGroup);
    listLayout->addWidget(PostQueueListView, 2);
    listLayout->addWidget(AnswersView, 1);

    auto* controls = new QGroupBox("Post Queue Controls", this);
    QPushButton* remove = NewButton(controls, "DeleteFromPostQueueBtn", "Delete",
                                    "Click to delete the post-queue item and all associated files from the local "
                                    "hard drive and the remote web server.");
    connect(remove, &QPushButton::clicked, this, deleteJob);
    QPushButton* browse = NewButton(controls, "PostQueueBrowseBtn", "Browse...",
                                    "Click to launch your default browser to view the resultant web page.");
    connect(browse, &QPushButton::clicked, this, &TPostQueueTab::OpenWebPage);
    QPushButton* refresh = NewButton(controls, "RefreshAnswersBtn", "Refresh answers",
                                     "Click to fetch the customers' answers of every post-queue job from the web "
                                     "server.");
    connect(refresh, &QPushButton::clicked, this,
            [this] { RunReportingErrors(window(), [&] { Runner.RefreshAnswers(); }); });
    QPushButton* mail = NewButton(controls, "AddMailAnswerBtn", "Add answer from mail...",
                                  "Click to paste a customer's e-mail that holds an answer to a proof.");
    connect(mail, &QPushButton::clicked, this, &TPostQueueTab::AskForMail);
    QPushButton* verify =
        NewButton(controls, "VerifyPlatesBtn", "Verify",
                  "Click to check that the selected job's page buffers are still the plates its proof was made from.");
    connect(verify, &QPushButton::clicked, this, [this] {
        const std::vector<TPostQueueRow>& rows = Runner.PostQueueRows();
        const int row = Runner.SelectedPostQueueRow();
        if (row >= 0 && row < static_cast<int>(rows.size()))
            ShowPlateVerification(rows[static_cast<std::size_t>(row)].JobReference);
    });
    auto* controlsLayout = new QHBoxLayout(controls);
    controlsLayout->addWidget(remove);
    controlsLayout->addWidget(browse);
    controlsLayout->addWidget(refresh);
    controlsLayout->addWidget(mail);
    controlsLayout->addWidget(verify);
    controlsLayout->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listGroup, 1);
    layout->addWidget(controls);
}

TPostQueueTab::~TPostQueueTab()
{
    for (const QPointer<QThread>& thread : CompareThreads)
        if (thread) {
            thread->wait();
            delete thread.data();
        }
}

void TPostQueueTab::ShowPostQueue()
{
    const std::vector<TPostQueueRow>& rows = Runner.PostQueueRows();
    const QDate today = QDate::currentDate();
    FillRowsQuietly(*PostQueueListView, static_cast<int>(rows.size()), [&](QTreeWidgetItem& item, int row) {
        const TPostQueueRow& finished = rows[static_cast<std::size_t>(row)];
        // The proof's address is every plain column's hint: a column of its own would need scrolling.
        const QString address =
            finished.ProofAddress.empty() ? QString("not transferred") : QString::fromStdString(finished.ProofAddress);
        for (int column = 0; column < PostQueueListView->columnCount(); ++column)
            item.setToolTip(column, address);
        item.setText(PostJobColumn, QString::number(finished.JobReference));
        item.setData(PostJobColumn, SortRole, static_cast<qlonglong>(finished.JobReference));
        item.setText(PostNameColumn, QString::fromStdString(finished.Caption));
        item.setToolTip(PostNameColumn, QString::fromStdString(finished.Caption) + "\n" + address);
        item.setText(PostCustomerColumn, QString::fromStdString(finished.Customer));
        item.setText(PostPagesColumn, QString::number(finished.PageCount));
        item.setData(PostPagesColumn, SortRole, finished.PageCount);
        item.setText(PostDateColumn, QString::fromStdString(finished.CataloguedAt));
        item.setText(PostRoundColumn, QString::fromStdString(ProofRoundText(finished.Round)));
        item.setData(PostRoundColumn, SortRole, finished.Round.Number);
        ShowMoment(item, PostSentColumn, SentMoment(finished.SentTime), finished.SentTime);
        // Ready for plates is approved and more: neither is overdue.
        const bool approved = finished.AnswerStatus == AnswerStateWord(TAnswerState::Approved) ||
                              finished.AnswerStatus == ReadyForPlatesStatus;
        ShowDueDate(item, PostDueColumn, finished.DueDate, approved, today);
        item.setText(PostStatusColumn, QString::fromStdString(finished.Status));
        // A failed withdrawal's reason can be long: the column shows its beginning, the hint all of it.
        item.setToolTip(PostStatusColumn, QString::fromStdString(finished.Status));
        item.setText(PostAnswersColumn, QString::fromStdString(finished.AnswerStatus));
        ShowMoment(item, PostLastAnswerColumn, AnswerMoment(finished.LastAnswerTime), finished.LastAnswerTime);
    });
    // Bold first: the columns must fit a row's bold text, not cut it short.
    ShowNews();
    FitColumnsToContents(*PostQueueListView, {PostJobColumn, PostPagesColumn, PostDateColumn, PostRoundColumn,
                                              PostSentColumn, PostDueColumn, PostAnswersColumn, PostLastAnswerColumn});
    FitNameColumn(*PostQueueListView, PostNameColumn, 160);
    FitNameColumn(*PostQueueListView, PostCustomerColumn, 160);
    FitNameColumn(*PostQueueListView, PostStatusColumn, 240);
    SelectRowQuietly(*PostQueueListView, Runner.SelectedPostQueueRow());
    ShowAnswers();
}

// A job whose answers the operator has not seen yet is bold.
void TPostQueueTab::ShowNews()
{
    const std::vector<TPostQueueRow>& rows = Runner.PostQueueRows();
    for (int index = 0; index < PostQueueListView->topLevelItemCount(); ++index) {
        QTreeWidgetItem* item = PostQueueListView->topLevelItem(index);
        const int row = RowOfItem(item);
        QFont font = PostQueueListView->font();
        font.setBold(row >= 0 && row < static_cast<int>(rows.size()) && rows[static_cast<std::size_t>(row)].NewAnswers);
        for (int column = 0; column < PostQueueListView->columnCount(); ++column)
            item->setFont(column, font);
    }
}

void TPostQueueTab::ShowAnswers()
{
    const std::vector<TPostQueueRow>& rows = Runner.PostQueueRows();
    const int row = Runner.SelectedPostQueueRow();
    AnswersView->clear();
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return;
    RunReportingErrors(window(), [&] {
        const TJobAnswers answers = LoadJobAnswers(Catalogue, rows[static_cast<std::size_t>(row)].JobReference);
        QString state = QString::fromStdString(AnswerStateWord(answers.Summary.State));
        // A page unchanged since an earlier round may keep an answer before this round has any.
        if (answers.Answers.empty() && answers.Carried.empty())
            state += ": no answers yet.";
        AnswersView->addTopLevelItem(new QTreeWidgetItem(QStringList(state)));
        QTreeWidgetItem* answer = nullptr;
        for (const TAnswerItem& line : AnswerItems(answers)) {
            // Comments and notes sit under their answer: the tree indents them.
            QString text = QString::fromStdString(line.Text);
            if (!line.Heading)
                text.replace(QRegularExpression("^    ", QRegularExpression::MultilineOption), QString());
            auto* item = new QTreeWidgetItem(QStringList(text));
            item->setData(0, AnswerPageRole, line.Page);
            if (line.Note)
                item->setData(0, AnswerPointRole,
                              QPoint(static_cast<int>(line.Note->X), static_cast<int>(line.Note->Y)));
            if (line.Heading || !answer) {
                AnswersView->addTopLevelItem(item);
                answer = item;
            } else
                answer->addChild(item);
        }
        AnswersView->expandAll();
    });
}

void TPostQueueTab::OpenAnswerSpot(const QTreeWidgetItem* item)
{
    const QVariant page = item ? item->data(0, AnswerPageRole) : QVariant();
    const std::vector<TPostQueueRow>& rows = Runner.PostQueueRows();
    const int row = Runner.SelectedPostQueueRow();
    if (!page.isValid() || row < 0 || row >= static_cast<int>(rows.size()))
        return;
    const TPostQueueRow& finished = rows[static_cast<std::size_t>(row)];
    if (finished.ProofAddress.empty()) {
        emit StatusText("Job " + QString::number(finished.JobReference) +
                        " was never transferred: there is no proof on the web server to open.");
        return;
    }
    // The viewer's own deep link: the page, and for a note its point at one plate pixel per screen pixel.
    QString fragment = "page=" + QString::number(page.toInt());
    const QVariant point = item->data(0, AnswerPointRole);
    if (point.isValid())
        fragment += "&zoom=1&x=" + QString::number(point.toPoint().x()) + "&y=" + QString::number(point.toPoint().y());
    QUrl address(QString::fromStdString(finished.ProofAddress));
    address.setFragment(fragment);
    Log.Log("Opening " + address.toString().toStdString());
    if (!OpenUrl(address)) {
        Log.Log("The desktop could not open " + address.toString().toStdString());
        ShowUnopenedAddress(window(), address.toString());
    }
}

void TPostQueueTab::AskForMail()
{
    QDialog dialog(window());
    dialog.setObjectName("MailAnswerDlg");
    dialog.setWindowTitle("Add answer from mail");
    auto* hint = new QLabel("Paste the customer's e-mail (or just the lines from -----BEGIN TAVRIN ANSWER----- to "
                            "-----END TAVRIN ANSWER-----):",
                            &dialog);
    hint->setWordWrap(true);
    auto* text = new QPlainTextEdit(&dialog);
    text->setObjectName("MailAnswerText");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(hint);
    layout->addWidget(text, 1);
    layout->addWidget(buttons);
    dialog.resize(560, 360);
    if (dialog.exec() == QDialog::Accepted)
        AddAnswersFromMail(text->toPlainText());
}

void TPostQueueTab::AddAnswersFromMail(const QString& mailText)
{
    RunReportingErrors(window(), [&] {
        const TMailAnswers result = Runner.AddAnswersFromMail(mailText.toStdString());
        std::string told =
            std::to_string(result.Added) + (result.Added == 1 ? " answer" : " answers") + " added from the mail";
        if (result.Known > 0)
            told += ", " + std::to_string(result.Known) + " the station had already";
        told += ".";
        Log.Log(told);
        for (const std::string& problem : result.Problems) {
            Log.Log("Not taken from the mail: " + problem);
            told += "\nNot taken: " + problem;
        }
        auto* box = new QMessageBox(result.Problems.empty() ? QMessageBox::Information : QMessageBox::Warning,
                                    "Add answer from mail", QString::fromStdString(told), QMessageBox::Ok, window());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setObjectName("MailAnswersBox");
        box->open();
    });
}

QMenu* TPostQueueTab::NewRowMenu(int row)
{
    const std::vector<TPostQueueRow>& rows = Runner.PostQueueRows();
    const QString address = row >= 0 && row < static_cast<int>(rows.size())
                                ? QString::fromStdString(rows[static_cast<std::size_t>(row)].ProofAddress)
                                : QString();
    QMenu* menu = NewLinkMenu(this, "PostQueueRowMenu", address, [this, row] {
        Runner.SelectPostQueueRow(row);
        SelectRowQuietly(*PostQueueListView, row);
        OpenWebPage();
    });
    if (row >= 0 && row < static_cast<int>(rows.size())) {
        const TPostQueueRow& finished = rows[static_cast<std::size_t>(row)];
        if (finished.Round.EarlierReference != 0) {
            const std::uint32_t job = finished.JobReference;
            QAction* compare = menu->addAction("Compare with round " + QString::number(finished.Round.Number - 1), this,
                                               [this, job] { ShowRoundComparison(job); });
            compare->setObjectName("CompareRoundItem");
        }
    }
    return menu;
}

QDialog* TPostQueueTab::ShowRoundComparison(std::uint32_t jobReference)
{
    std::optional<TRoundComparisonLines> stored, link;
    const bool read = RunReportingErrors(window(), [&] {
        stored = StoredRoundComparison(Catalogue, jobReference);
        link = stored ? stored : EarlierRoundOf(Catalogue, jobReference);
    });
    if (!read || !link)
        return nullptr;

    const TLinesDialog parts = NewLinesDialog(window(), "Compare with round " + QString::number(link->EarlierRound),
                                              "RoundCompare", "CopyCompareBtn");
    QDialog* dialog = parts.Dialog;
    if (stored) {
        ShowComparisonLines(parts, *stored);
        dialog->show();
        return dialog;
    }

    // Decoding both rounds' masters takes a while: the window stays live meanwhile.
    const std::string pair =
        "job " + std::to_string(jobReference) + " with job " + std::to_string(link->EarlierReference);
    parts.Heading->setText(QString::fromStdString("Comparing " + pair + " from both rounds' masters..."));
    auto outcome = std::make_shared<TCompareOutcome>();
    TCatalogueConnection& catalogue = Catalogue;
    QThread* worker = QThread::create([&catalogue, jobReference, outcome] {
        try {
            outcome->Comparison = ComputeRoundComparison(catalogue, jobReference);
        } catch (const std::exception& error) {
            outcome->Failure = error.what();
        }
    });
    std::erase_if(CompareThreads, [](const QPointer<QThread>& thread) { return thread.isNull(); });
    CompareThreads.emplace_back(worker);
    // The log hears of a failure even when the dialog was closed before the end.
    connect(worker, &QThread::finished, this, [this, outcome, pair] {
        if (!outcome->Comparison)
            Log.Log("Cannot compare " + pair + ": " + outcome->Failure);
    });
    connect(worker, &QThread::finished, dialog, [parts, outcome] {
        if (outcome->Comparison) {
            ShowComparisonLines(parts, *outcome->Comparison);
            return;
        }
        parts.ShowFailure(QString::fromStdString("The rounds could not be compared: " + outcome->Failure));
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start(QThread::IdlePriority);
    dialog->show();
    return dialog;
}

QDialog* TPostQueueTab::ShowPlateVerification(std::uint32_t jobReference)
{
    if (RescanPageBuffers && !RunReportingErrors(window(), RescanPageBuffers))
        return nullptr;
    const TLinesDialog parts =
        NewLinesDialog(window(), "Verify job " + QString::number(jobReference), "VerifyPlates", "CopyVerifyBtn");
    QDialog* dialog = parts.Dialog;
    parts.Heading->setText("Checking the plates of job " + QString::number(jobReference) + "...");

    // Hashing every plate of a large job takes a while: the window stays live meanwhile.
    struct TOutcome {
        std::optional<TPlateVerification> Verification;
        std::string Failure;
    };
    auto outcome = std::make_shared<TOutcome>();
    TCatalogueConnection& catalogue = Catalogue;
    const std::string folder = PageBufferFolder ? PageBufferFolder() : std::string();
    QThread* worker = QThread::create([&catalogue, jobReference, folder, outcome] {
        try {
            outcome->Verification = VerifyAndRecordJobPlates(catalogue, jobReference, folder, SentTimeText(LocalNow()));
        } catch (const std::exception& error) {
            outcome->Failure = error.what();
        }
    });
    std::erase_if(CompareThreads, [](const QPointer<QThread>& thread) { return thread.isNull(); });
    CompareThreads.emplace_back(worker);
    const std::string job = "Job " + std::to_string(jobReference);
    // The log and the post queue hear of the result even when the dialog was closed before the end.
    auto lines = std::make_shared<std::vector<std::string>>();
    connect(worker, &QThread::finished, this, [this, outcome, job, jobReference, lines] {
        if (!outcome->Verification) {
            Log.Log("Cannot verify the plates of job " + std::to_string(jobReference) + ": " + outcome->Failure);
            return;
        }
        *lines = PlateVerificationLines(jobReference, *outcome->Verification);
        for (const std::string& line : *lines)
            Log.Log(job + ": " + line);
        RunReportingErrors(window(), [&] { Runner.ReloadPostQueueList(); });
    });
    connect(worker, &QThread::finished, dialog, [parts, outcome, job, lines] {
        if (!outcome->Verification) {
            parts.ShowFailure(QString::fromStdString("The plates could not be checked: " + outcome->Failure));
            return;
        }
        parts.ShowResult(
            QString::fromStdString(PlatesVerifiedSame(*outcome->Verification)
                                       ? job + "'s page buffers are the plates its proof was made from:"
                                       : job + "'s page buffers are not the plates its proof was made from:"),
            JoinedLines(*lines));
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start(QThread::IdlePriority);
    dialog->show();
    return dialog;
}

void TPostQueueTab::ShowRowMenu(const QPoint& position)
{
    QTreeWidgetItem* item = PostQueueListView->itemAt(position);
    if (!item)
        return;
    NewRowMenu(RowOfItem(item))->popup(PostQueueListView->viewport()->mapToGlobal(position));
}

void TPostQueueTab::OpenWebPage()
{
    RunReportingErrors(window(), [&] {
        const std::optional<std::string> address = Runner.WebPageAddress();
        if (!address)
            return;
        Log.Log("Opening " + *address);
        // The desktop does not say why it failed; the operator can still paste the address by hand.
        if (!OpenUrl(QUrl(QString::fromStdString(*address)))) {
            Log.Log("The desktop could not open " + *address);
            ShowUnopenedAddress(window(), QString::fromStdString(*address));
        }
    });
}

}  // namespace tavrin
