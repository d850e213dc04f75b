#pragma once

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <functional>

namespace belvane::testing {

// Waits for `done` to hold, polling and running the event loop; false when `limit` passed first.
inline bool waitUntil(const std::function<bool()> &done,
                      std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Waits until `items` holds `count` of them.
template<typename Items>
bool waitForCount(const Items &items, std::size_t count)
{
    return waitUntil([&] { return items.size() == count; });
}

} // namespace belvane::testing
