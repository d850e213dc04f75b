// The least a receiver that starts a program can do: a blocking loop that accepts one connection, reads
// it to its close, closes it, forks and execs the program and waits for it. Prints the loopback port it
// listens on, then serves until it is killed. Plain system calls only, built static, so that its own
// size adds nothing to the fork.
//   fork_exec_receiver PROGRAM [ARGUMENT...]
#include <cstdio>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        return 2;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, 5) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        std::perror("fork_exec_receiver");
        return 2;
    }
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    char buffer[1024];
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        ssize_t got = 0;
        ssize_t total = 0;
        while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
            total += got;
        }
        ::close(fd);
        if (total == 0) {
            continue;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::execv(argv[1], argv + 1);
            ::_exit(127);
        }
        if (child > 0) {
            ::waitpid(child, nullptr, 0);
        }
    }
}
