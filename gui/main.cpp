#include "base/catalogue/OutputLayout.h"
#include "base/platform/ProcessPriority.h"
#include "base/platform/StationLock.h"
#include "base/settings/SharedSettings.h"
#include "base/tasking/StationLog.h"
#include "engines/imaging/TiffErrorHandler.h"
#include "gui/MainForm.h"
#include "gui/QtMessageBoxHook.h"
#include "gui/QtMessageTarget.h"
#include "gui/QtOperatorDialogs.h"
#include "gui/SplashForm.h"
#include "station/Station.h"
#include "tasks/delivery/TransferCommonFiles.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

using namespace tavrin;

int main(int argc, char* argv[])
{
    InstallTiffErrorHandler();
    SetProcessIdlePriority();
    SetCurrentThreadIdlePriority();

    QApplication application(argc, argv);
    QApplication::setApplicationName("Tavrin Remote Proofing System");
    InstallQtMessageBoxHook();

    // One process at a time changes the station's catalogue and output.
    const TStationLock lock(StationLockPath());
    if (!lock.Held()) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromStdString(lock.Refusal()));
        return 1;
    }

    TStationLog log;
    log.KeepFilesIn(ProgramFolder() + "log");
    TQtOperatorDialogs dialogs;
    TQtMessageTarget messages;
    TStation station(messages, log, dialogs);
    TQueueRunner& runner = station.Runner;
    messages.SetHandler(runner);

    // The main window is made first (it creates the configuration dialog, the
    // about box and the address book) but shown only after the start-up.
    TMainForm mainForm(runner, station.Startup, log, dialogs);
    dialogs.Owner = &mainForm;
    mainForm.SetCommonFilesTransfer([&] {
        try {
            TransferCommonFiles(station.Settings().Copy(), log);
        } catch (const std::exception& error) {
            dialogs.Tell("Error", error.what(), TDialogIcon::Error);
        }
    });
    TSplashForm splash;
    mainForm.StartUnderSplash(splash);
    const int status = QApplication::exec();

    // A task still running finishes, so that no master or upload is left half written.
    runner.BeginShutdown();
    while (runner.HasRunningTasks())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return status;
}
