#pragma once

#include <QObject>

namespace tavrin {

// The Show Hints switch for every window of the station: while it is off no
// tool tip appears; while it is on a widget's tool tip shows for 30 seconds.
// Install it once on the application object.
class THintFilter final : public QObject {
    Q_OBJECT
public:
    static constexpr int HintPauseMilliseconds = 30000;

    explicit THintFilter(QObject* parent = nullptr);

    void SetShowHints(bool show) { ShowHints = show; }
    bool ShowsHints() const { return ShowHints; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool ShowHints = false;
};

}  // namespace tavrin
