#include "gui/QtMessageTarget.h"

#include <QCoreApplication>
#include <QEvent>

namespace tavrin {

namespace {

const QEvent::Type TaskMessageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class TTaskMessageEvent final : public QEvent {
public:
    explicit TTaskMessageEvent(TTaskMessage message) : QEvent(TaskMessageEventType), Message(std::move(message)) {}
    TTaskMessage Message;
};

}  // namespace

TQtMessageTarget::TQtMessageTarget(TMessageHandler& handler, QObject* parent) : QObject(parent), Handler(&handler) {}

TQtMessageTarget::TQtMessageTarget(QObject* parent) : QObject(parent) {}

void TQtMessageTarget::Post(TTaskMessage message)
{
    // postEvent is thread-safe and takes ownership of the event.
    QCoreApplication::postEvent(this, new TTaskMessageEvent(std::move(message)));
}

bool TQtMessageTarget::event(QEvent* event)
{
    if (event->type() != TaskMessageEventType)
        return QObject::event(event);
    if (Handler)
        Handler->HandleMessage(std::move(static_cast<TTaskMessageEvent*>(event)->Message));
    return true;
}

}  // namespace tavrin
