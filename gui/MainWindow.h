#pragma once

#include <QMainWindow>

class QPlainTextEdit;

namespace tavrin {

class TStationLog;

// The station's main window. It shows the station's log in LogWin.
class TMainForm final : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(TStationLog& log, QWidget* parent = nullptr);
    ~TMainForm() override;

private:
    void AppendLogLine(const QString& line);

    TStationLog& Log;
    QPlainTextEdit* LogWin = nullptr;
};

}  // namespace tavrin
