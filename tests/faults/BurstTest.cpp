// Many senders at the same moment while the receiver is busy: every one of them gets its connection
// at once from the system's queue, and every alarm arrives once the receiver is free again.
#include "AlarmReceiver.h"
#include "LoopbackClient.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <list>
#include <set>

namespace belvane {
namespace {

TEST(BurstTest, FiftySimultaneousSendersAreQueuedAndAllDelivered)
{
    std::multiset<std::string> delivered, sent;
    AlarmReceiver receiver([&](std::string &text, const std::string &) { delivered.insert(text); });
    ASSERT_EQ(receiver.startListening(0), AlarmReceiver::ListenState::Listening);
    // The receiver's event loop does not run while they connect: it stands for a receiver busy with an
    // alarm. A sender left waiting for its connection gives up after five seconds.
    std::list<testing::LoopbackClient> senders;
    for (int i = 0; i < 50; ++i) {
        const std::string text = "#Sender=PC" + std::to_string(i) + "\n#Message=noon\n#Level=0\n";
        ASSERT_TRUE(senders.emplace_back(receiver.boundPort(), 5).connected && senders.back().send(text))
            << i;
        sent.insert(text);
    }
    senders.clear();
    EXPECT_TRUE(testing::waitUntil([&] { return delivered.size() >= sent.size(); }));
    EXPECT_EQ(delivered, sent);
}

} // namespace
} // namespace belvane
