// The program an alarm's action starts in the process-start measurement: as its very first work it
// sends the monotonic clock's reading (nanoseconds, 8 bytes) to the datagram socket named by its
// argument, and ends.
//   start_stamp SOCKET-PATH
#include <cstdint>
#include <cstring>
#include <ctime>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (argc != 2) {
        return 2;
    }
    const std::int64_t nanoseconds = std::int64_t {now.tv_sec} * 1000000000 + now.tv_nsec;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    const bool sent = ::sendto(fd, &nanoseconds, sizeof nanoseconds, 0,
                               reinterpret_cast<sockaddr *>(&address), sizeof address)
        == sizeof nanoseconds;
    return sent ? 0 : 1;
}
