#include "ConnectionState.h"

#include <algorithm>
#include <utility>

namespace belvane {

ConnectionState::ConnectionState(Dispatch dispatchText, std::size_t keptBytes)
    : dispatch(std::move(dispatchText))
    , limit(keptBytes)
{ }

void ConnectionState::Accept()
{
    if (current == Phase::Finished) {
        return;
    }
    endConnection(Phase::Idle);
    current = Phase::Open;
}

void ConnectionState::Receive(std::string_view data)
{
    if (current != Phase::Open) {
        return;
    }
    while (!data.empty()) {
        std::string_view chunk = data.substr(0, chunkSize);
        data.remove_prefix(chunk.size());
        chunk = chunk.substr(0, chunk.find('\0'));
        const std::size_t room = limit - gathered.size();
        const std::size_t taken = std::min(room, chunk.size());
        gathered.append(chunk.data(), taken);
        discarded += chunk.size() - taken;
    }
}

void ConnectionState::Closed()
{
    if (current == Phase::Open) {
        endConnection(Phase::Idle);
    }
}

void ConnectionState::Finish()
{
    endConnection(Phase::Finished);
}

void ConnectionState::endConnection(Phase next)
{
    const bool wasOpen = current == Phase::Open;
    current = next;
    discarded = 0;
    // The text leaves the state before the dispatch runs, so a connection that arrives while the
    // dispatch is busy (a nested event loop) starts from nothing instead of growing the text in use.
    std::string text = std::exchange(gathered, std::string());
    if (wasOpen && !text.empty() && dispatch) {
        dispatch(text);
    }
}

} // namespace belvane
