#include "gui/MainWindow.h"

#include "shell/StationLog.h"

#include <QPlainTextEdit>

namespace tavrin {

TMainForm::TMainForm(TStationLog& log, QWidget* parent) : QMainWindow(parent), Log(log)
{
    setWindowTitle("Dranwick Tavrin Remote Proofing System");
    resize(1029, 666);

    LogWin = new QPlainTextEdit(this);
    LogWin->setObjectName("LogWin");
    LogWin->setReadOnly(true);
    // The widget keeps the same cap as the station's log.
    LogWin->setMaximumBlockCount(static_cast<int>(TStationLog::MaxLines));
    setCentralWidget(LogWin);

    for (const std::string& line : Log.Lines())
        AppendLogLine(QString::fromStdString(line));
    Log.OnLine = [this](const std::string& line) { AppendLogLine(QString::fromStdString(line)); };
}

TMainForm::~TMainForm()
{
    Log.OnLine = nullptr;
}

void TMainForm::AppendLogLine(const QString& line)
{
    LogWin->appendPlainText(line);
}

}  // namespace tavrin
