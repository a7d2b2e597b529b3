#include "gui/MainWindow.h"
#include "gui/QtMessageBoxHook.h"
#include "imaging/TiffErrorHandler.h"
#include "platform/ProcessPriority.h"
#include "shell/StationLog.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    using namespace tavrin;
    InstallTiffErrorHandler();
    SetProcessIdlePriority();
    SetCurrentThreadIdlePriority();

    QApplication application(argc, argv);
    QApplication::setApplicationName("Tavrin Remote Proofing System");
    InstallQtMessageBoxHook();

    TStationLog log;
    TMainForm mainForm(log);
    mainForm.show();
    return QApplication::exec();
}
