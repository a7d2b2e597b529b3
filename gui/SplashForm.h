#pragma once

#include <QWidget>

class QTimer;

namespace tavrin {

// The splash window (TSplashForm): borderless, centred on the screen, its
// white parts see-through; it closes itself 3 seconds after it was made,
// at the first timer tick the event loop serves, when it is clicked, or as
// soon as any dialog or message box shows: staying on top, it would cover
// the box's buttons.
class TSplashForm final : public QWidget {
    Q_OBJECT
public:
    static constexpr int ShowMilliseconds = 3000;

    explicit TSplashForm(QWidget* parent = nullptr);
    ~TSplashForm() override;

    // Shows the window in front and paints it at once, before the event loop runs.
    void ShowNow();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Finish();

    QPixmap Picture;
    QTimer* Timer = nullptr;
};

}  // namespace tavrin
