#include "gui/ConnectionTestButton.h"

#include "base/settings/SettingsRecord.h"
#include "engines/delivery/ConnectionTest.h"

#include <QFutureWatcher>
#include <QMessageBox>
#include <QtConcurrent/QtConcurrentRun>

namespace tavrin {

TConnectionTestButton::TConnectionTestButton(const QString& name, TSettingsSource settings, TTest test, QWidget* parent)
    : QPushButton("Test connection", parent), Settings(std::move(settings)), Test(std::move(test))
{
    setObjectName(name);
    setToolTip("Log on to the server with the settings shown here (nothing is saved or sent) and show the "
               "outcome and the server's certificate.");
    connect(this, &QPushButton::clicked, this, &TConnectionTestButton::Start);
}

void TConnectionTestButton::Start()
{
    setEnabled(false);
    setText("Testing...");
    auto* watcher = new QFutureWatcher<TConnectionTestReport>(this);
    connect(watcher, &QFutureWatcher<TConnectionTestReport>::finished, this, [this, watcher] {
        const TConnectionTestReport report = watcher->result();
        watcher->deleteLater();
        setText("Test connection");
        setEnabled(true);
        Show(report);
    });
    // The worker owns copies: the dialog may change while it runs.
    watcher->setFuture(QtConcurrent::run([test = Test, settings = Settings()] { return test(settings); }));
}

void TConnectionTestButton::Show(const TConnectionTestReport& report)
{
    auto* box = new QMessageBox(report.Succeeded ? QMessageBox::Information : QMessageBox::Warning, "Test connection",
                                QString::fromStdString(ReportText(report)), QMessageBox::Ok, this);
    box->setObjectName("ConnectionTestBox");
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace tavrin
