#pragma once
// Posting an event from a worker thread to an object of the window thread.
// The receiver's event() calls platform::AcquireFromOtherThread(e) before it
// reads the event, so that the thread sanitizer sees the order that Qt's
// event queue gives (see platform/thread_handover.h).

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include "platform/thread_handover.h"

namespace widgets {

// Any thread. Takes ownership of `event`, as QCoreApplication::postEvent does.
inline void PostFromWorkerThread(QObject* receiver, QEvent* event) {
    platform::ReleaseToOtherThread(event);
    QCoreApplication::postEvent(receiver, event);
}

}  // namespace widgets
