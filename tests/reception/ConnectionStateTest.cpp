#include "ConnectionState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace belvane {
namespace {

using Texts = std::vector<std::string>;

// Steps: "+" accepts, "." is the peer's close or reset, "F" Finish; anything else is data received,
// without its leading ">".
Texts run(const Texts &steps)
{
    Texts dispatched;
    ConnectionState state([&](std::string &text) {
        dispatched.push_back(text);
        text.clear();
    });
    for (const std::string &step : steps) {
        if (step == "+") {
            state.Accept();
        } else if (step == ".") {
            state.Closed();
        } else if (step == "F") {
            state.Finish();
        } else {
            state.Receive(step.substr(1));
        }
    }
    EXPECT_TRUE(state.receivedText().empty());
    return dispatched;
}

TEST(ConnectionStateTest, DispatchesEachConnectionsTextOnceWhenItEnds)
{
    const std::string chunkWithNul = ">" + std::string(10, 'a') + '\0' + std::string(1013, 'b');
    const std::pair<Texts, Texts> cases[] = {
        {{"+", ">#Sender=a\n", ">#Message=b\n", ">#Level=1\n", "."}, {"#Sender=a\n#Message=b\n#Level=1\n"}},
        {{"+", "."}, {}},
        {{"+", std::string(">\0abc", 5), "."}, {}}, // only NUL bytes kept: nothing
        {{"+", std::string(">ab\0cd", 6), ">ef", "."}, {"abef"}}, // NUL drops the rest of its chunk only
        {{"+", std::string(">a\0b\0c", 6), "."}, {"a"}}, // from the first NUL on
        {{"+", chunkWithNul + "tail" + std::string("\0x", 2), "."}, {std::string(10, 'a') + "tail"}},
        {{"+", ">one", "+", ">two", "."}, {"one", "two"}},
        {{">stray", ".", "+", ".", ">z"}, {}}, // nothing without a connection
        {{"+", ">late", "F", "+", ">no", "."}, {"late"}}, // Finish ends taking
    };
    for (const auto &[steps, dispatched] : cases) {
        SCOPED_TRACE(::testing::PrintToString(steps));
        EXPECT_EQ(run(steps), dispatched);
    }
}

TEST(ConnectionStateTest, ConnectionDuringDispatchStartsAfresh)
{
    Texts dispatched;
    ConnectionState *self = nullptr;
    ConnectionState state([&](std::string &text) {
        dispatched.push_back(text);
        if (dispatched.size() == 1) { // a nested event loop inside the dispatch lets the next sender in
            self->Accept();
            self->Receive("inner");
            self->Closed();
        }
    });
    self = &state;
    state.Accept();
    state.Receive("outer");
    state.Closed();
    EXPECT_EQ(dispatched, (Texts {"outer", "inner"}));
}

} // namespace
} // namespace belvane
