// Drives the connection table with arbitrary event sequences and holds it against a plain model: each
// connection's text the NUL-cut chunks joined and capped, each ended connection with text dispatched
// exactly once and whole, room made from the connection silent the longest, silence measured from a
// connection's last bytes, nothing after the program's end. Some events are taken inside a dispatch,
// as a nested event loop there would deliver them.
#include "ConnectionState.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
    };
    std::vector<Open> open; // the silent-longest first
    std::vector<std::string> expected; // dispatches owed, in order
    ConnectionState::Id lastId = 0;
    bool finished = false;

    Open *find(ConnectionState::Id id)
    {
        const auto it = std::find_if(open.begin(), open.end(), [id](const Open &o) { return o.id == id; });
        return it == open.end() ? nullptr : &*it;
    }
    void end(ConnectionState::Id id)
    {
        if (Open *o = find(id)) {
            if (!o->text.empty()) {
                expected.push_back(o->text);
            }
            open.erase(open.begin() + (o - open.data()));
        }
    }
    void receive(ConnectionState::Id id, std::string_view data, Clock::time_point now)
    {
        Open *o = find(id);
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
    std::vector<std::string> dispatched;
    int depth = 0;
    ConnectionState state {[this](std::string &text, const std::string &peer) {
                               check(!text.empty() && text.find('\0') == std::string::npos);
                               check(text.size() <= keptLimit && peer == "p");
                               dispatched.push_back(text);
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

    void step()
    {
        switch (next() % 7) {
        case 0: { // accept, making room first as the socket layer does
            if (model.open.size() >= ConnectionState::openLimit && !model.finished) {
                const auto room = state.toMakeRoom();
                check(room && *room == model.open.front().id);
                model.end(*room);
                state.closed(*room);
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
        case 2: { // a close and a reset end the connection alike
            const ConnectionState::Id id = pick();
            model.end(id);
            state.closed(id);
            break;
        }
        case 3: { // the program's end: oldest first; what the dispatch lets in then is not modelled
            std::sort(model.open.begin(), model.open.end(),
                      [](const auto &a, const auto &b) { return a.id < b.id; });
            for (const auto &o : model.open) {
                if (!o.text.empty()) {
                    model.expected.push_back(o.text);
                }
            }
            model.open.clear();
            model.finished = true;
            const int saved = std::exchange(depth, nestingLimit);
            state.finish();
            depth = saved;
            break;
        }
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
            const bool due = !model.open.empty() && now - model.open.front().lastActive >= quiet;
            check(silent.has_value() == due);
            check(state.nextExpiry(quiet).has_value() == !model.open.empty());
            if (due) {
                check(*silent == model.open.front().id);
                check(*state.nextExpiry(quiet) == model.open.front().lastActive + quiet);
                model.end(*silent);
                state.closed(*silent);
            }
            break;
        }
        }
        check(state.openCount() == model.open.size());
        check(!state.toMakeRoom() == (model.open.size() < ConnectionState::openLimit));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Run run(data, size);
    while (run.at < size) {
        run.step();
        check(run.dispatched == run.model.expected);
    }
    for (const auto &o : run.model.open) {
        check(run.state.receivedText(o.id) == o.text);
    }
    return 0;
}
