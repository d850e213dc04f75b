#include "AlarmReceiver.h"
#include "EventLoop.h"

#include <QTcpServer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace belvane {
namespace {

using testing::runUntil;

// A plain blocking client socket on loopback, as any sender would use.
class Client final
{
public:
    explicit Client(quint16 port)
        : fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        // A receiver that stops reading makes a send or a wait fail here instead of hanging the test.
        const timeval wait {30, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    }
    ~Client() { ::close(fd); }

    bool send(const std::string &bytes) const
    {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t put = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (put <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(put);
        }
        return true;
    }
    void endWriting() const { ::shutdown(fd, SHUT_WR); }
    // Ends the connection with a reset instead of an orderly close.
    void reset()
    {
        const linger hard {1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ::close(std::exchange(fd, -1));
    }
    // Waits for the receiver's end: the bytes it sent before closing (there should be none).
    std::string bytesUntilClosed() const
    {
        std::string got;
        char chunk[256];
        ssize_t n = 0;
        while ((n = ::recv(fd, chunk, sizeof chunk, 0)) > 0) {
            got.append(chunk, static_cast<std::size_t>(n));
        }
        return n == 0 ? got : "(no close seen)";
    }

    int fd;
    bool connected = false;
};

class AlarmReceiverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(receiver.StartListening(0), AlarmReceiver::ListenState::Listening);
        port = receiver.boundPort();
        ASSERT_NE(port, 0);
    }
    bool gathered(std::size_t size)
    {
        return runUntil([&]() { return receiver.receivedText().size() == size; });
    }
    bool dispatchedCount(std::size_t count)
    {
        return runUntil([&]() { return dispatched.size() == count; });
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
    const std::vector<std::string> pieces = {"#Sender=desk\n", "#Message=tea\nis ready\n", "#Level=3\n"};
    Client client(port);
    ASSERT_TRUE(client.connected);
    ASSERT_TRUE(runUntil([&]() { return receiver.connectionOpen(); })); // accepted before any data
    std::string joined;
    for (const std::string &piece : pieces) {
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
        auto first = std::make_unique<Client>(port);
        ASSERT_TRUE(first->send("one"));
        ASSERT_TRUE(gathered(3));
        if (reset) { // dispatched at once, not when the next sender comes
            first->reset();
            ASSERT_TRUE(dispatchedCount(1));
            EXPECT_FALSE(receiver.connectionOpen());
        }
        Client second(port);
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
    Client client(port);
    ASSERT_TRUE(client.send("bye"));
    ASSERT_TRUE(gathered(3));
    receiver.Finish();
    EXPECT_EQ(dispatched, (std::vector<std::string> {"bye"}));
    EXPECT_EQ(client.bytesUntilClosed(), "");
    EXPECT_FALSE(Client(port).connected);
}

TEST_F(AlarmReceiverTest, EndlessSenderIsReadToItsEndButOnlyOneMebibyteKept)
{
    constexpr std::size_t total = std::size_t {8} << 20;
    bool sentAll = false;
    std::thread sender([&, p = port]() {
        Client client(p);
        const std::string block(64 * 1024, 'm');
        std::size_t sent = 0;
        while (sent < total && client.send(block)) {
            sent += block.size();
        }
        client.endWriting();
        sentAll = sent == total && client.bytesUntilClosed().empty();
    });
    std::size_t largest = 0;
    const bool done = runUntil([&]() {
        largest = std::max(largest, receiver.receivedText().size());
        return !dispatched.empty();
    });
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
        SCOPED_TRACE(port);
        AlarmReceiver receiver([](std::string &) { ADD_FAILURE() << "nothing can arrive"; });
        EXPECT_EQ(receiver.StartListening(port), AlarmReceiver::ListenState::PortUnavailable);
        EXPECT_EQ(receiver.boundPort(), 0);
        receiver.Finish();
    }
}

} // namespace
} // namespace belvane
