#include "AlarmReceiver.h"
#include "LoopbackClient.h"
#include "Wait.h"

#include <QTcpServer>

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace belvane {
namespace {

using testing::LoopbackClient;
using Texts = std::vector<std::string>;

class AlarmReceiverTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(receiver.StartListening(0), AlarmReceiver::ListenState::Listening); }
    bool dispatchedCount(std::size_t count, std::chrono::seconds limit = std::chrono::seconds(10))
    {
        return testing::WaitUntil([&] { return dispatched.size() == count; }, limit);
    }

    Texts dispatched;
    AlarmReceiver receiver {[this](std::string &text) {
        dispatched.push_back(text);
    }};
};

// However the connection ends, its text is dispatched once, then and not before, and nothing is sent
// back: by its close, a newcomer (one connection at a time), a reset (dispatched at once, not when the
// next sender comes) or Finish, which also stops listening. The next connection's text stands alone.
TEST_F(AlarmReceiverTest, EachConnectionsTextIsDispatchedOnceWhenItEndsAndNothingIsSentBack)
{
    for (const std::string how : {"close", "second connection", "reset", "Finish"}) {
        SCOPED_TRACE(how);
        dispatched.clear();
        const quint16 port = receiver.boundPort();
        LoopbackClient first(port);
        ASSERT_TRUE(testing::WaitUntil([&] { return receiver.connectionOpen(); })) << "accepted before data";
        std::string joined;
        for (const std::string piece : {"#Sender=desk\n", "#Message=tea\nis ready\n", "#Level=3\n"}) {
            ASSERT_TRUE(first.send(piece));
            joined += piece;
            ASSERT_TRUE(testing::WaitUntil([&] { return receiver.receivedText() == joined; }));
            EXPECT_TRUE(dispatched.empty());
        }
        std::optional<LoopbackClient> second;
        if (how == "close") {
            first.endWriting();
        } else if (how == "second connection") {
            second.emplace(port);
        } else if (how == "reset") {
            first.reset();
        } else {
            receiver.Finish();
        }
        ASSERT_TRUE(dispatchedCount(1));
        EXPECT_EQ(dispatched, Texts {joined});
        EXPECT_EQ(receiver.connectionOpen(), second.has_value());
        EXPECT_EQ(how == "reset" ? "" : first.bytesUntilClosed(), "");
        if (how == "Finish") {
            EXPECT_FALSE(LoopbackClient(port).connected);
            break;
        }
        if (!second) {
            second.emplace(port);
        }
        ASSERT_TRUE(second->send("two"));
        second->endWriting();
        ASSERT_TRUE(dispatchedCount(2));
        EXPECT_EQ(dispatched[1], "two");
    }
}

TEST_F(AlarmReceiverTest, EndlessSenderIsReadToItsEndButOnlyOneMebibyteKept)
{
    bool sentAll = false;
    std::thread sender([&, port = receiver.boundPort()] {
        LoopbackClient client(port);
        int blocks = 0; // 8 MiB in all
        while (blocks < 128 && client.send(std::string(64 * 1024, 'm'))) {
            ++blocks;
        }
        client.endWriting();
        sentAll = blocks == 128 && client.bytesUntilClosed().empty();
    });
    const bool done = dispatchedCount(1, std::chrono::seconds(30));
    sender.join();
    ASSERT_TRUE(done);
    EXPECT_TRUE(sentAll);
    EXPECT_EQ(dispatched[0], std::string(ConnectionState::keptLimit, 'm'));
}

TEST(AlarmReceiverStartTest, UnusablePortsGiveASilentStart)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, 0));
    for (const std::int32_t port : {static_cast<std::int32_t>(other.serverPort()), -1, 65536, 9912 + 65536}) {
        AlarmReceiver receiver([](std::string &) { ADD_FAILURE() << "nothing can arrive"; });
        EXPECT_EQ(receiver.StartListening(port), AlarmReceiver::ListenState::PortUnavailable) << port;
        EXPECT_EQ(receiver.boundPort(), 0);
    }
}

} // namespace
} // namespace belvane
