#include "ConnectionState.h"

#include <algorithm>
#include <utility>

namespace belvane {

namespace {
template<typename Table>
auto find(Table &table, ConnectionState::Id id)
{
    return std::find_if(table.begin(), table.end(), [id](const auto &c) { return c.id == id; });
}
} // namespace

ConnectionState::ConnectionState(Dispatch dispatchText, std::size_t keptBytes)
    : dispatch(std::move(dispatchText))
    , limit(keptBytes)
{ }

ConnectionState::Id ConnectionState::accept(std::string peer, Clock::time_point now)
{
    if (ending) {
        return 0;
    }
    open.push_back(Connection {++lastId, std::move(peer), std::string(), now, ++events});
    return lastId;
}

void ConnectionState::receive(Id id, std::string_view data, Clock::time_point now)
{
    const auto connection = find(open, id);
    if (connection == open.end() || connection->ended) {
        return;
    }
    connection->lastActive = now;
    connection->lastEvent = ++events;
    std::string &gathered = connection->text;
    while (!data.empty()) {
        std::string_view chunk = data.substr(0, chunkSize);
        data.remove_prefix(chunk.size());
        chunk = chunk.substr(0, chunk.find('\0'));
        gathered.append(chunk.data(), std::min(limit - gathered.size(), chunk.size()));
    }
}

void ConnectionState::closed(Id id)
{
    const auto connection = find(open, id);
    if (connection != open.end() && !connection->ended) {
        connection->ended = true;
        closing.insert(id);
    }
}

void ConnectionState::finishClosed()
{
    // A dispatch may come back with events for the others: each round starts from the table as it is.
    while (!closing.empty()) {
        const Id oldest = closing.extract(closing.begin()).value();
        end(find(open, oldest));
    }
}

void ConnectionState::finish()
{
    ending = true;
    while (!open.empty()) {
        finishClosed();
        if (!open.empty()) {
            end(open.begin());
        }
    }
}

std::optional<ConnectionState::Id> ConnectionState::toMakeRoom() const
{
    if (open.size() - closing.size() < openLimit) {
        return std::nullopt;
    }
    return quietest()->id;
}

std::optional<ConnectionState::Id> ConnectionState::expired(Clock::time_point now,
                                                            Clock::duration quiet) const
{
    const Connection *candidate = quietest();
    if (candidate == nullptr || now - candidate->lastActive < quiet) {
        return std::nullopt;
    }
    return candidate->id;
}

std::optional<ConnectionState::Clock::time_point> ConnectionState::nextExpiry(Clock::duration quiet) const
{
    const Connection *candidate = quietest();
    if (candidate == nullptr) {
        return std::nullopt;
    }
    return candidate->lastActive + quiet;
}

std::string_view ConnectionState::receivedText(Id id) const
{
    const auto connection = find(open, id);
    return connection == open.end() ? std::string_view() : std::string_view(connection->text);
}

const ConnectionState::Connection *ConnectionState::quietest() const
{
    const Connection *silent = nullptr;
    for (const Connection &c : open) {
        if (!c.ended && (silent == nullptr || c.lastEvent < silent->lastEvent)) {
            silent = &c;
        }
    }
    return silent;
}

void ConnectionState::end(std::vector<Connection>::iterator connection)
{
    // The connection leaves the table before the dispatch runs, so events that arrive while the
    // dispatch is busy (a nested event loop) find the table as it stands.
    Connection gone = std::move(*connection);
    open.erase(connection);
    if (!gone.text.empty() && dispatch) {
        dispatch(gone.text, gone.peer);
    }
}

} // namespace belvane
