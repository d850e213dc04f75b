// Drives the connection state machine with arbitrary event sequences and holds it against a plain
// model: one open connection at most, its text the NUL-cut chunks joined and capped, each ended
// connection with text dispatched exactly once, nothing after the program's end.
#include "ConnectionState.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

// The machine's bound, made small so that inputs of a few KiB cross it: the logic is the same.
constexpr std::size_t keptLimit = 8 * 1024;
constexpr std::size_t chunkSize = belvane::ConnectionState::chunkSize;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

struct Model
{
    bool open = false;
    bool finished = false;
    std::string text;
    std::optional<std::string> expected; // what the last event must have dispatched

    void end()
    {
        if (open && !text.empty()) {
            expected = text;
        }
        open = false;
        text.clear();
    }
    void receive(std::string_view data)
    {
        if (!open) {
            return;
        }
        for (std::size_t at = 0; at < data.size(); at += chunkSize) {
            std::string_view chunk = data.substr(at, chunkSize);
            chunk = chunk.substr(0, chunk.find('\0'));
            text += chunk.substr(0, keptLimit - std::min(text.size(), keptLimit));
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::optional<std::string> dispatched;
    int dispatches = 0;
    belvane::ConnectionState state(
        [&](std::string &text) {
            check(!text.empty() && text.find('\0') == std::string::npos);
            check(text.size() <= keptLimit);
            dispatched = text;
            ++dispatches;
            text.clear();
        },
        keptLimit);
    Model model;
    std::size_t at = 0;
    const auto next = [&]() -> std::uint8_t {
        return at < size ? data[at++] : 0;
    };
    while (at < size) {
        dispatched.reset();
        dispatches = 0;
        model.expected.reset();
        switch (next() % 6) {
        case 0:
            if (!model.finished) {
                model.end();
                model.open = true;
            }
            state.Accept();
            break;
        case 1: {
            // A read of up to two chunks, taken from the input itself.
            const std::size_t length = (next() | std::size_t {next()} << 8) % (2 * 1024 + 1);
            const std::size_t taken = std::min(length, size - at);
            const std::string_view bytes(reinterpret_cast<const char *>(data) + at, taken);
            at += taken;
            model.receive(bytes);
            state.Receive(bytes);
            break;
        }
        case 2:
        case 3: // a close and a reset end the connection alike
            model.end();
            state.Closed();
            break;
        case 4:
            model.end();
            model.finished = true;
            state.Finish();
            break;
        case 5: {
            // A flood of one byte value: up to two limits' worth in one step.
            const std::string block(std::size_t {next()} * 64, static_cast<char>(next()));
            model.receive(block);
            state.Receive(block);
            break;
        }
        }
        check(dispatches <= 1);
        check(dispatched == model.expected);
        check(state.connectionOpen() == model.open);
        // Whole texts are compared at every dispatch (above) and at the end; here their sizes.
        check(state.receivedText().size() == model.text.size());
        check(state.receivedText().size() <= keptLimit);
    }
    check(state.receivedText() == model.text);
    return 0;
}
