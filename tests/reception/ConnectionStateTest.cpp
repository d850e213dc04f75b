#include "ConnectionState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace belvane {
namespace {

enum class Event { Accept, Data, Close, Reset, Finish };

struct Step
{
    Event event;
    std::string data = {};
};

std::string bytes(const char *text, std::size_t size)
{
    return std::string(text, size);
}

TEST(ConnectionStateTest, DispatchesEachConnectionsTextOnceWhenItEnds)
{
    const std::string chunkWithNul = std::string(10, 'a') + '\0' + std::string(1013, 'b');
    struct Case
    {
        std::string name;
        std::vector<Step> steps;
        std::vector<std::string> dispatched;
    };
    const std::vector<Case> cases = {
        {"pieces joined in order",
         {{Event::Accept},
          {Event::Data, "#Sender=a\n"},
          {Event::Data, "#Message=b\n"},
          {Event::Data, "#Level=1\n"},
          {Event::Close}},
         {"#Sender=a\n#Message=b\n#Level=1\n"}},
        {"nothing sent", {{Event::Accept}, {Event::Close}}, {}},
        {"only NUL bytes sent", {{Event::Accept}, {Event::Data, bytes("\0abc", 4)}, {Event::Close}}, {}},
        {"NUL drops the rest of its chunk only",
         {{Event::Accept}, {Event::Data, bytes("ab\0cd", 5)}, {Event::Data, "ef"}, {Event::Close}},
         {"abef"}},
        {"a long read counts as 1024-byte chunks",
         {{Event::Accept}, {Event::Data, chunkWithNul + "tail" + bytes("\0x", 2)}, {Event::Close}},
         {std::string(10, 'a') + "tail"}},
        {"second connection finishes the first",
         {{Event::Accept}, {Event::Data, "one"}, {Event::Accept}, {Event::Data, "two"}, {Event::Close}},
         {"one", "two"}},
        {"reset dispatches at once and the next text stands alone",
         {{Event::Accept},
          {Event::Data, "x"},
          {Event::Reset},
          {Event::Accept},
          {Event::Data, "y"},
          {Event::Close}},
         {"x", "y"}},
        {"data and closes without a connection are ignored",
         {{Event::Data, "stray"},
          {Event::Close},
          {Event::Reset},
          {Event::Accept},
          {Event::Close},
          {Event::Data, "z"}},
         {}},
        {"finish dispatches the open connection and ends taking",
         {{Event::Accept},
          {Event::Data, "late"},
          {Event::Finish},
          {Event::Accept},
          {Event::Data, "no"},
          {Event::Close}},
         {"late"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> dispatched;
        ConnectionState state([&](std::string &text) {
            dispatched.push_back(text);
            text.clear();
        });
        for (const Step &step : c.steps) {
            switch (step.event) {
            case Event::Accept:
                state.Accept();
                break;
            case Event::Data:
                state.Receive(step.data);
                break;
            case Event::Close:
                state.PeerClosed();
                break;
            case Event::Reset:
                state.Reset();
                break;
            case Event::Finish:
                state.Finish();
                break;
            }
        }
        EXPECT_EQ(dispatched, c.dispatched);
        EXPECT_TRUE(state.receivedText().empty());
    }
}

TEST(ConnectionStateTest, KeepsAtMostOneMebibyteOfAConnection)
{
    std::vector<std::size_t> sizes;
    ConnectionState state([&](std::string &text) { sizes.push_back(text.size()); });
    const std::string chunk(ConnectionState::chunkSize, 'k');
    state.Accept();
    for (int i = 0; i < 3000; ++i) {
        state.Receive(chunk);
    }
    EXPECT_EQ(state.receivedText().size(), ConnectionState::keptLimit);
    EXPECT_EQ(state.discardedBytes(), 3000 * chunk.size() - ConnectionState::keptLimit);
    state.Accept();
    state.Receive("next");
    state.PeerClosed();
    EXPECT_EQ(sizes, (std::vector<std::size_t> {ConnectionState::keptLimit, 4}));
}

TEST(ConnectionStateTest, ConnectionDuringDispatchStartsAfresh)
{
    std::vector<std::string> dispatched;
    ConnectionState *self = nullptr;
    ConnectionState state([&](std::string &text) {
        dispatched.push_back(text);
        if (dispatched.size() == 1) {
            // A nested event loop inside the dispatch lets the next sender in.
            self->Accept();
            self->Receive("inner");
            self->PeerClosed();
        }
    });
    self = &state;
    state.Accept();
    state.Receive("outer");
    state.PeerClosed();
    EXPECT_EQ(dispatched, (std::vector<std::string> {"outer", "inner"}));
}

} // namespace
} // namespace belvane
