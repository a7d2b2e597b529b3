#include "gui/MainWindow.h"
#include "gui/QtMessageBoxHook.h"
#include "gui/QtMessageTarget.h"
#include "gui/QtOperatorDialogs.h"
#include "imaging/TiffErrorHandler.h"
#include "platform/ProcessPriority.h"
#include "shell/QueueRunner.h"
#include "shell/StartupOperation.h"
#include "shell/StationLog.h"

#include <QApplication>
#include <QMessageBox>

using namespace tavrin;

int main(int argc, char* argv[])
{
    InstallTiffErrorHandler();
    SetProcessIdlePriority();
    SetCurrentThreadIdlePriority();

    QApplication application(argc, argv);
    QApplication::setApplicationName("Tavrin Remote Proofing System");
    InstallQtMessageBoxHook();

    TStationLog log;
    TQtOperatorDialogs dialogs;
    TQtMessageTarget messages;
    TQueueRunner runner(messages, log, dialogs, StationTaskKinds());
    messages.SetHandler(runner);
    TStartupOperation startup(runner, log, dialogs);

    TMainForm mainForm(log);
    dialogs.Owner = &mainForm;
    mainForm.show();
    try {
        startup.Run();
    } catch (const std::exception& error) {
        // The station cannot work without its catalogue: say why, and stay open for the log.
        QMessageBox::critical(&mainForm, QApplication::applicationName(), QString::fromStdString(error.what()));
        log.Log(error.what());
    }
    const int status = QApplication::exec();

    // A task still running finishes, so that no master or upload is left half written.
    runner.BeginShutdown();
    while (runner.HasRunningTasks())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return status;
}
