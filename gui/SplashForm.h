#pragma once

#include <QWidget>

class QTimer;

namespace tavrin {

// The splash window (TSplashForm): borderless, centred on the screen, its
// white parts see-through; it closes itself 3 seconds after it was made,
// at the first timer tick the event loop serves, or when it is clicked.
class TSplashForm final : public QWidget {
    Q_OBJECT
public:
    static constexpr int ShowMilliseconds = 3000;

    explicit TSplashForm(QWidget* parent = nullptr);

    // Shows the window in front and paints it at once, before the event loop runs.
    void ShowNow();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Finish();

    QPixmap Picture;
    QTimer* Timer = nullptr;
};

}  // namespace tavrin
