// Drives the connection table with arbitrary event sequences and holds it against a plain model: each
// connection's text the NUL-cut chunks joined and capped, each ended connection with text dispatched
// exactly once and whole, in the order of the ends (those noted before one round's finish together,
// oldest connection first; at the program's end those first, then the others oldest first), room made
// from the connection silent the longest, silence measured from a connection's last bytes, nothing
// after the program's end. Some events are taken inside a dispatch, as a nested event loop there would
// deliver them, also while the program ends. Each dispatch is checked against the model as it comes.
#include "ConnectionState.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using belvane::ConnectionState;
using Clock = ConnectionState::Clock;

// The table's bound, made small so that inputs of a few KiB cross it: the logic is the same.
constexpr std::size_t keptLimit = 8 * 1024;
constexpr std::size_t chunkSize = ConnectionState::chunkSize;
constexpr auto quiet = std::chrono::seconds(30);
constexpr int nestingLimit = 3;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

struct Model
{
    struct Open
    {
        ConnectionState::Id id;
        std::string text;
        Clock::time_point lastActive;
        bool ended = false;
    };
    std::vector<Open> open; // the silent-longest first, ended ones included until dispatched
    std::set<ConnectionState::Id> closing; // ended, waiting for their dispatch
    ConnectionState::Id lastId = 0;
    bool finished = false;

    Open *find(ConnectionState::Id id)
    {
        const auto it = std::find_if(open.begin(), open.end(), [id](const Open &o) { return o.id == id; });
        return it == open.end() ? nullptr : &*it;
    }
    Open *live(ConnectionState::Id id)
    {
        Open *o = find(id);
        return o != nullptr && !o->ended ? o : nullptr;
    }
    std::size_t liveCount() const
    {
        return static_cast<std::size_t>(
            std::count_if(open.begin(), open.end(), [](const Open &o) { return !o.ended; }));
    }
    const Open *silentLongest() const
    {
        const auto it = std::find_if(open.begin(), open.end(), [](const Open &o) { return !o.ended; });
        return it == open.end() ? nullptr : &*it;
    }
    void receive(ConnectionState::Id id, std::string_view data, Clock::time_point now)
    {
        Open *o = live(id);
        if (o == nullptr) {
            return;
        }
        for (std::size_t at = 0; at < data.size(); at += chunkSize) {
            std::string_view chunk = data.substr(at, chunkSize);
            chunk = chunk.substr(0, chunk.find('\0'));
            o->text += chunk.substr(0, keptLimit - std::min(o->text.size(), keptLimit));
        }
        Open moved = std::move(*o);
        moved.lastActive = now;
        open.erase(open.begin() + (o - open.data()));
        open.push_back(std::move(moved));
    }
    void close(ConnectionState::Id id)
    {
        if (Open *o = live(id)) {
            o->ended = true;
            closing.insert(id);
        }
    }
    // The connection the next dispatch comes from: the oldest whose end was noted; in the program's
    // end, with none noted, the oldest of all.
    std::optional<ConnectionState::Id> next() const
    {
        if (!closing.empty()) {
            return *closing.begin();
        }
        if (!finished || open.empty()) {
            return std::nullopt;
        }
        return std::min_element(open.begin(), open.end(),
                                [](const Open &a, const Open &b) { return a.id < b.id; })
            ->id;
    }
    std::string take(ConnectionState::Id id)
    {
        closing.erase(id);
        Open *o = find(id);
        std::string text = std::move(o->text);
        open.erase(open.begin() + (o - open.data()));
        return text;
    }
    // A dispatch of `text`: connections due before it that gathered nothing went without one.
    void dispatched(const std::string &text)
    {
        for (;;) {
            const auto id = next();
            check(id.has_value());
            const std::string expected = take(*id);
            if (!expected.empty()) {
                check(expected == text);
                return;
            }
        }
    }
    // After the table's finishClosed returned: whatever end is still due gathered nothing; after its
    // finish, nothing else had gathered anything either.
    void settle(bool ended = false)
    {
        while (!closing.empty()) {
            check(take(*closing.begin()).empty());
        }
        while (ended && !open.empty()) {
            check(take(open.front().id).empty());
        }
    }
};

struct Run
{
    Run(const std::uint8_t *bytes, std::size_t length)
        : data(bytes)
        , size(length)
    { }

    const std::uint8_t *data;
    std::size_t size;
    std::size_t at = 0;
    Clock::time_point now {};
    Model model;
    std::size_t dispatches = 0;
    int depth = 0;
    ConnectionState state {[this](std::string &text, const std::string &peer) {
                               check(!text.empty() && text.find('\0') == std::string::npos);
                               check(text.size() <= keptLimit && peer == "p");
                               model.dispatched(text);
                               ++dispatches;
                               text.clear();
                               // Now and then the next event arrives inside the dispatch.
                               if (depth < nestingLimit && at < size && data[at] % 4 == 0) {
                                   ++at;
                                   ++depth;
                                   step();
                                   --depth;
                               }
                           },
                           keptLimit};

    std::uint8_t next() { return at < size ? data[at++] : 0; }
    // An open connection picked by the input, or a stale id now and then.
    ConnectionState::Id pick()
    {
        const std::uint8_t n = next();
        if (model.open.empty() || n % 8 == 7) {
            return n % (model.lastId + 2);
        }
        return model.open[n % model.open.size()].id;
    }
    // The socket layer's end of a round, and of a connection it finishes itself.
    void finishClosed()
    {
        state.finishClosed();
        model.settle();
    }
    void finishOurs(ConnectionState::Id id)
    {
        model.close(id);
        state.closed(id);
        finishClosed();
    }

    void step()
    {
        switch (next() % 8) {
        case 0: { // accept: the ends noted go first, then room is made as the socket layer does
            finishClosed();
            while (const auto room = state.toMakeRoom()) {
                const Model::Open *silent = model.silentLongest();
                check(silent != nullptr && *room == silent->id
                      && model.liveCount() >= ConnectionState::openLimit);
                finishOurs(*room);
            }
            const auto id = state.accept("p", now);
            check(id == (model.finished ? 0 : model.lastId + 1));
            if (id != 0) {
                model.lastId = id;
                model.open.push_back({id, std::string(), now});
            }
            break;
        }
        case 1: { // a read of up to two chunks, taken from the input itself
            const ConnectionState::Id id = pick();
            const std::size_t length = (next() | std::size_t {next()} << 8) % (2 * 1024 + 1);
            const std::size_t taken = std::min(length, size - at);
            const std::string_view bytes(reinterpret_cast<const char *>(data) + at, taken);
            at += taken;
            model.receive(id, bytes, now);
            state.receive(id, bytes, now);
            break;
        }
        case 2: { // a close and a reset end the connection alike; its dispatch waits for the round's end
            const ConnectionState::Id id = pick();
            model.close(id);
            state.closed(id);
            break;
        }
        case 3: // the program's end; events inside its dispatches are taken as they come
            model.finished = true;
            state.finish();
            model.settle(true);
            break;
        case 4: { // a flood of one byte value: up to two limits' worth in one step
            const ConnectionState::Id id = pick();
            const std::string block(std::size_t {next()} * 64, static_cast<char>(next()));
            model.receive(id, block, now);
            state.receive(id, block, now);
            break;
        }
        case 5: // time passes, up to a minute
            now += std::chrono::milliseconds(std::size_t {next()} * 250);
            break;
        case 6: { // the time-out looks for silent connections
            const auto silent = state.expired(now, quiet);
            const Model::Open *longest = model.silentLongest();
            const bool due = longest != nullptr && now - longest->lastActive >= quiet;
            check(silent.has_value() == due);
            check(state.nextExpiry(quiet).has_value() == (longest != nullptr));
            if (due) {
                check(*silent == longest->id);
                check(*state.nextExpiry(quiet) == longest->lastActive + quiet);
                finishOurs(*silent);
            }
            break;
        }
        case 7: // a round of the event loop ends
            finishClosed();
            break;
        }
        check(state.openCount() == model.open.size());
        check(!state.toMakeRoom() == (model.liveCount() < ConnectionState::openLimit));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Run run(data, size);
    while (run.at < size) {
        run.step();
    }
    for (const auto &o : run.model.open) {
        check(run.state.receivedText(o.id) == o.text);
    }
    return 0;
}
