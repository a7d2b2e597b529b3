#include "gui/LogTab.h"

#include "base/tasking/StationLog.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace tavrin {

TLogTab::TLogTab(TStationLog& log, QWidget* parent) : QWidget(parent), Log(log)
{
    LogWin = new QPlainTextEdit(this);
    LogWin->setObjectName("LogWin");
    LogWin->setReadOnly(true);
    // A long line wraps instead of scrolling every line's time stamp out of view.
    LogWin->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    LogWin->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    LogWin->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LogWin->setToolTip("Displays messages emitted by the software. ");
    // The widget keeps the same cap as the station's log.
    LogWin->setMaximumBlockCount(static_cast<int>(TStationLog::MaxLines));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(LogWin);

    for (const std::string& line : Log.Lines())
        LogWin->appendPlainText(QString::fromStdString(line));
    Log.OnLine = [this](const std::string& line) { LogWin->appendPlainText(QString::fromStdString(line)); };
}

TLogTab::~TLogTab()
{
    Log.OnLine = nullptr;
}

}  // namespace tavrin
