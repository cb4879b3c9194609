#pragma once
// Running Qt's event loop in a test until something happened, with a
// deadline. Qt Core only, so that tests without widgets use it too.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

#include <functional>

namespace test_support {

// Processes posted events until `done` holds or timeoutMs passed.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

// Processes what is posted now (and what that posts), briefly.
inline void Pump() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace test_support
