#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace belvane::testing {

// A plain blocking client socket on loopback (127.0.0.1 unless `to` names another of 127.0.0.0/8), as
// any sender would use. A receiver that stops reading
// or accepting makes a connect, send or wait fail after `waitSeconds` instead of hanging the test.
struct LoopbackClient final
{
    explicit LoopbackClient(unsigned short port, int waitSeconds = 30, in_addr_t to = INADDR_LOOPBACK)
        : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const timeval wait {waitSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        sockaddr_in address {
            .sin_family = AF_INET, .sin_port = htons(port), .sin_addr = {htonl(to)}, .sin_zero = {}};
        connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~LoopbackClient() { ::close(fd); }
    LoopbackClient(const LoopbackClient &) = delete;
    LoopbackClient &operator=(const LoopbackClient &) = delete;

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

    // Whether the receiver has closed its end, without waiting: the test's own loop runs the receiver.
    bool closedByPeer() const
    {
        char byte;
        return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
    }

    int fd;
    bool connected = false;
};

} // namespace belvane::testing
