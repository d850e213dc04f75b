// Many senders at the same moment while the receiver is busy: every one of them gets its connection
// at once from the system's queue, and every alarm arrives once the receiver is free again.
#include "AlarmReceiver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

namespace belvane {
namespace {

// Starts a non-blocking connect to the loopback `port`; the socket, or -1.
int StartConnect(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether the connect on `fd` completed within `waitMs`.
bool Connected(int fd, int waitMs)
{
    pollfd watched {fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    return ::poll(&watched, 1, waitMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0
        && error == 0;
}

TEST(BurstTest, FiftySimultaneousSendersAreQueuedAndAllDelivered)
{
    std::vector<std::string> delivered;
    AlarmReceiver receiver([&](std::string &text) {
        delivered.push_back(text);
        text.clear();
    });
    ASSERT_EQ(receiver.StartListening(0), AlarmReceiver::ListenState::Listening);

    // The receiver's event loop does not run here: it stands for a receiver busy with an alarm.
    constexpr int senders = 50;
    std::vector<int> sockets;
    std::set<std::string> sent;
    for (int i = 0; i < senders; ++i) {
        const int fd = StartConnect(receiver.boundPort());
        ASSERT_GE(fd, 0);
        sockets.push_back(fd);
    }
    for (int i = 0; i < senders; ++i) {
        ASSERT_TRUE(Connected(sockets[i], 5000)) << "sender " << i << " was left waiting for a connection";
        const std::string text = "#Sender=PC" + std::to_string(i) + "\n#Message=noon\n#Level=0\n";
        ASSERT_EQ(::send(sockets[i], text.data(), text.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(text.size()));
        ::close(sockets[i]);
        sent.insert(text);
    }

    QElapsedTimer waited;
    waited.start();
    while (delivered.size() < senders && waited.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(std::set<std::string>(delivered.begin(), delivered.end()), sent);
    EXPECT_EQ(delivered.size(), static_cast<std::size_t>(senders));
    receiver.Finish();
}

} // namespace
} // namespace belvane
