#pragma once

#include "base/platform/MessageTarget.h"

#include <QObject>

namespace tavrin {

// Delivers posted task messages through the Qt event loop: Post wraps the
// message in an event for an object living on the main thread, and Qt hands
// events to one receiver in the order they were posted.
class TQtMessageTarget final : public QObject, public TMessageTarget {
    Q_OBJECT
public:
    // The handler must outlive this object. Create it on the main thread.
    explicit TQtMessageTarget(TMessageHandler& handler, QObject* parent = nullptr);
    // For a handler that needs the target to exist first: set it before any task starts.
    explicit TQtMessageTarget(QObject* parent = nullptr);

    void SetHandler(TMessageHandler& handler) { Handler = &handler; }
    void Post(TTaskMessage message) override;

protected:
    bool event(QEvent* event) override;

private:
    TMessageHandler* Handler = nullptr;
};

}  // namespace tavrin
