#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

namespace belvane::testing {

// Runs the event loop until `done` holds; false after a generous wait.
inline bool runUntil(const std::function<bool()> &done)
{
    const QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace belvane::testing
