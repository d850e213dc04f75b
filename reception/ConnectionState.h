#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace belvane {

// The receiver's open connections, apart from any socket: what the socket layer saw happen goes in as
// events, each connection's alarm text comes out through the dispatch callback. One connection carries
// one alarm, which ends when that connection ends; connections never cut each other short.
//
// - Each data chunk (as one read returns it, up to `chunkSize` bytes) is appended up to its first NUL
//   byte; the rest of that chunk is dropped, the next chunk counts again.
// - At most `keptLimit` bytes of one connection are kept; the rest of it is taken and thrown away.
// - A connection ends by the peer's close, a reset, being finished to make room or for its silence, or
//   the program's end. When it ends having gathered text, that text is dispatched once.
// - Alarms are dispatched in the order their connections ended: an end is noted first (`closed`), and
//   `finishClosed` dispatches every noted end, oldest connection first. The socket layer calls it once
//   per round of its event loop and before it takes in a newcomer, so ends noted in one round count
//   as simultaneous.
// - At most `openLimit` connections are open; the socket layer asks `toMakeRoom` which one to finish
//   before it takes another, and `expired` which one has been silent for too long.
// - After finish nothing more is taken: the program is going.
//
// The dispatch may run a nested event loop and so come back here with other connections' events: the
// text has left the table before the callback runs.
class ConnectionState final
{
public:
    static constexpr std::size_t chunkSize = 1024;
    static constexpr std::size_t keptLimit = std::size_t {1} << 20;
    static constexpr std::size_t openLimit = 16;

    using Clock = std::chrono::steady_clock;
    using Id = std::uint64_t;
    // Receives the text of a finished connection, never empty and free of NUL bytes, with the peer
    // named at its accept. The callee may take the text or empty it; whatever it leaves is dropped.
    using Dispatch = std::function<void(std::string &receivedText, const std::string &peer)>;

    // `keptBytes` replaces `keptLimit` where a smaller bound is wanted (the fuzz target's quick runs).
    explicit ConnectionState(Dispatch dispatchText, std::size_t keptBytes = keptLimit);

    // A connection from `peer` was accepted at `now`: its id, never 0; 0 after finish (take nothing).
    // Call finishClosed and toMakeRoom first: beyond `openLimit` connections, this one is still taken.
    Id accept(std::string peer, Clock::time_point now);
    // Bytes read from the connection at `now`; more than `chunkSize` count as successive chunks.
    void receive(Id id, std::string_view data, Clock::time_point now);
    // The connection ended: the peer closed its end, it failed (such as a reset) or the socket layer
    // finished it. It takes nothing more, and its text waits for finishClosed. Unknown or ended ids are
    // ignored.
    void closed(Id id);
    // Dispatches the text of every connection whose end was noted, oldest connection first; ends noted
    // during a dispatch are taken in the same call.
    void finishClosed();
    // The program is ending: every open connection is finished, those whose end was noted first, then
    // the others, each oldest first; ends noted during a dispatch join the first group. Later events are
    // ignored.
    void finish();

    // The connection to finish before another is accepted: the one silent the longest, when all places
    // are taken. Connections whose end was noted take no place.
    std::optional<Id> toMakeRoom() const;
    // A connection that has brought nothing for `quiet` or longer at `now`, the one silent the longest.
    std::optional<Id> expired(Clock::time_point now, Clock::duration quiet) const;
    // When the next connection will have been silent for `quiet`; none while no connection is open.
    std::optional<Clock::time_point> nextExpiry(Clock::duration quiet) const;

    bool finished() const { return ending; }
    // Connections not yet dispatched, those whose end was noted included.
    std::size_t openCount() const { return open.size(); }
    // The id of the last connection accepted; 0 before the first.
    Id lastAccepted() const { return lastId; }
    // The text gathered so far from an open connection; empty for an unknown id.
    std::string_view receivedText(Id id) const;

private:
    struct Connection
    {
        Id id;
        std::string peer;
        std::string text;
        Clock::time_point lastActive;
        std::uint64_t lastEvent; // orders activity where clock readings tie
        bool ended = false; // its end was noted; it waits in `closing`
    };

    const Connection *quietest() const;
    void end(std::vector<Connection>::iterator connection);

    Dispatch dispatch;
    std::size_t limit;
    bool ending = false;
    Id lastId = 0;
    std::uint64_t events = 0;
    std::vector<Connection> open; // in order of acceptance
    std::set<Id> closing; // the connections whose end was noted, oldest first
};

} // namespace belvane
