#include "ConnectionState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace belvane {
namespace {

using Texts = std::vector<std::string>;

// Steps: "+" accepts, "." is the peer's close or reset, "F" Finish; anything else is data received,
// without its leading ">". Steps after a "|" are taken inside the first dispatch, as a nested event
// loop there would let the next sender in.
Texts run(const Texts &steps)
{
    Texts dispatched;
    const auto nested = std::find(steps.begin(), steps.end(), "|");
    const auto take = [](ConnectionState &self, auto step, auto end) {
        for (; step != end; ++step) {
            *step == "+"       ? self.Accept()
                : *step == "." ? self.Closed()
                : *step == "F" ? self.Finish()
                               : self.Receive(step->substr(1));
        }
    };
    ConnectionState state([&](std::string &text) {
        dispatched.push_back(text);
        if (dispatched.size() == 1 && nested != steps.end()) {
            take(state, nested + 1, steps.end());
        }
    });
    take(state, steps.begin(), nested);
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
        // A connection taken while the last text is being dispatched starts afresh.
        {{"+", ">outer", ".", "|", "+", ">inner", "."}, {"outer", "inner"}},
    };
    for (const auto &[steps, dispatched] : cases) {
        SCOPED_TRACE(::testing::PrintToString(steps));
        EXPECT_EQ(run(steps), dispatched);
    }
}

} // namespace
} // namespace belvane
