#include "gui/SplashForm.h"

#include "gui/ProductArt.h"

#include <QApplication>
#include <QBitmap>
#include <QDialog>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace tavrin {

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), Picture(SplashPicture())
{
    setObjectName("SplashForm");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(632, 477);
    // White is the see-through colour: only the artwork's other pixels make the window.
    setMask(Picture.copy(0, 0, 632, 477).createMaskFromColor(Qt::white, Qt::MaskInColor));
    Timer = new QTimer(this);
    Timer->setInterval(ShowMilliseconds);
    connect(Timer, &QTimer::timeout, this, &TSplashForm::Finish);
    Timer->start();
    qApp->installEventFilter(this);
}

TSplashForm::~TSplashForm()
{
    qApp->removeEventFilter(this);
}

bool TSplashForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && qobject_cast<QDialog*>(watched) && isVisible())
        Finish();
    return QWidget::eventFilter(watched, event);
}

void TSplashForm::ShowNow()
{
    if (const QScreen* screen = this->screen())
        move(screen->geometry().center() - rect().center());
    show();
    raise();
    repaint();
    QCoreApplication::processEvents();
}

void TSplashForm::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, Picture);
}

void TSplashForm::mousePressEvent(QMouseEvent*)
{
    Finish();
}

void TSplashForm::Finish()
{
    Timer->stop();
    qApp->removeEventFilter(this);
    close();
}

}  // namespace tavrin
