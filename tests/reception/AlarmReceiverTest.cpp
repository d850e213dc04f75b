#include "AlarmReceiver.h"
#include "LoopbackClient.h"
#include "Wait.h"

#include <QTcpServer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace belvane {
namespace {

using testing::LoopbackClient;

class AlarmReceiverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(receiver.StartListening(0), AlarmReceiver::ListenState::Listening);
        port = receiver.boundPort();
    }
    bool gathered(std::size_t size)
    {
        return testing::WaitUntil([&] { return receiver.receivedText().size() == size; });
    }
    bool dispatchedCount(std::size_t count)
    {
        return testing::WaitUntil([&] { return dispatched.size() == count; });
    }

    std::vector<std::string> dispatched;
    AlarmReceiver receiver {[this](std::string &text) {
        dispatched.push_back(text);
        text.clear();
    }};
    quint16 port = 0;
};

TEST_F(AlarmReceiverTest, PiecesAreDispatchedOnceAfterTheCloseAndNothingIsSentBack)
{
    LoopbackClient client(port);
    ASSERT_TRUE(client.connected);
    ASSERT_TRUE(testing::WaitUntil([&] { return receiver.connectionOpen(); })) << "accepted before any data";
    std::string joined;
    for (const std::string piece : {"#Sender=desk\n", "#Message=tea\nis ready\n", "#Level=3\n"}) {
        ASSERT_TRUE(client.send(piece));
        joined += piece;
        ASSERT_TRUE(gathered(joined.size()));
        EXPECT_TRUE(dispatched.empty());
    }
    client.endWriting();
    ASSERT_TRUE(dispatchedCount(1));
    EXPECT_EQ(dispatched[0], joined);
    EXPECT_EQ(client.bytesUntilClosed(), "");
    EXPECT_FALSE(receiver.connectionOpen());
}

TEST_F(AlarmReceiverTest, SecondConnectionOrResetEndsTheFirstAndTheNextTextStandsAlone)
{
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "second connection");
        dispatched.clear();
        auto first = std::make_unique<LoopbackClient>(port);
        ASSERT_TRUE(first->send("one"));
        ASSERT_TRUE(gathered(3));
        if (reset) { // dispatched at once, not when the next sender comes
            first->reset();
            ASSERT_TRUE(dispatchedCount(1));
            EXPECT_FALSE(receiver.connectionOpen());
        }
        LoopbackClient second(port);
        ASSERT_TRUE(dispatchedCount(1));
        EXPECT_EQ(reset ? "" : first->bytesUntilClosed(), "");
        ASSERT_TRUE(second.send("two"));
        second.endWriting();
        ASSERT_TRUE(dispatchedCount(2));
        EXPECT_EQ(dispatched, (std::vector<std::string> {"one", "two"}));
    }
}

TEST_F(AlarmReceiverTest, FinishDispatchesTheOpenConnectionAndStopsListening)
{
    LoopbackClient client(port);
    ASSERT_TRUE(client.send("bye"));
    ASSERT_TRUE(gathered(3));
    receiver.Finish();
    EXPECT_EQ(dispatched, (std::vector<std::string> {"bye"}));
    EXPECT_EQ(client.bytesUntilClosed(), "");
    EXPECT_FALSE(LoopbackClient(port).connected);
}

TEST_F(AlarmReceiverTest, EndlessSenderIsReadToItsEndButOnlyOneMebibyteKept)
{
    constexpr std::size_t total = std::size_t {8} << 20;
    bool sentAll = false;
    std::thread sender([&, p = port]() {
        LoopbackClient client(p);
        const std::string block(64 * 1024, 'm');
        std::size_t sent = 0;
        while (sent < total && client.send(block)) {
            sent += block.size();
        }
        client.endWriting();
        sentAll = sent == total && client.bytesUntilClosed().empty();
    });
    std::size_t largest = 0;
    const bool done = testing::WaitUntil(
        [&] {
            largest = std::max(largest, receiver.receivedText().size());
            return !dispatched.empty();
        },
        std::chrono::seconds(30));
    sender.join();
    ASSERT_TRUE(done);
    EXPECT_TRUE(sentAll);
    EXPECT_EQ(dispatched[0], std::string(ConnectionState::keptLimit, 'm'));
    EXPECT_LE(largest, ConnectionState::keptLimit);
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
