#pragma once

#include <QObject>

#include <functional>

// Runs calls in the thread this object lives in, posted from any thread. Calls still queued when
// it is destroyed are dropped. The hand-over is made visible to ThreadSanitizer, which does not
// see Qt's own event queue: everything a call carries is written before the release and read
// after the acquire.
class TPostedCalls : public QObject
{
public:
    using QObject::QObject;

    void Post(std::function<void()> call);

protected:
    bool event(QEvent* event) override;
};
