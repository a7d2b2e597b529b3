#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace tavrin {

class TStationLog;

// The "Log" tab: the station's log, its last 201 lines.
class TLogTab final : public QWidget {
    Q_OBJECT
public:
    // Shows the log's lines and every line added while the tab lives.
    explicit TLogTab(TStationLog& log, QWidget* parent = nullptr);
    ~TLogTab() override;

private:
    TStationLog& Log;
    QPlainTextEdit* LogWin = nullptr;
};

}  // namespace tavrin
