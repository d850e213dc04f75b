// Many senders at the same moment while the receiver is busy: every one of them gets its connection
// at once from the system's queue, and every alarm arrives once the receiver is free again.
#include "AlarmReceiver.h"
#include "LoopbackClient.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace belvane {
namespace {

TEST(BurstTest, FiftySimultaneousSendersAreQueuedAndAllDelivered)
{
    std::multiset<std::string> delivered, sent;
    AlarmReceiver receiver([&](std::string &text) {
        delivered.insert(text);
        text.clear();
    });
    ASSERT_EQ(receiver.StartListening(0), AlarmReceiver::ListenState::Listening);
    // The receiver's event loop does not run while they connect: it stands for a receiver busy with an
    // alarm. A sender left waiting for its connection gives up after five seconds.
    std::vector<std::unique_ptr<testing::LoopbackClient>> senders;
    for (int i = 0; i < 50; ++i) {
        senders.push_back(std::make_unique<testing::LoopbackClient>(receiver.boundPort(), 5));
        const std::string text = "#Sender=PC" + std::to_string(i) + "\n#Message=noon\n#Level=0\n";
        ASSERT_TRUE(senders.back()->connected && senders.back()->send(text)) << "sender " << i;
        sent.insert(text);
    }
    senders.clear();
    EXPECT_TRUE(testing::WaitUntil([&] { return delivered.size() >= sent.size(); }));
    EXPECT_EQ(delivered, sent);
    receiver.Finish();
}

} // namespace
} // namespace belvane
