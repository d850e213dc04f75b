#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace belvane::testing {

// Runs `work` in a child process whose files may grow to `limit` bytes at most (no limit when 0), as a
// full disk would stop them, for root as for anyone. The child's exit code, or -1 when it did not exit.
inline int exitUnderSizeLimit(rlim_t limit, const std::function<int()> &work)
{
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit rl {limit, limit};
        _exit(limit != 0 && setrlimit(RLIMIT_FSIZE, &rl) != 0 ? 255 : work());
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string le32(std::int64_t value)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// An action list file image: signature, version, count, then the record bytes as given.
inline std::string listBytes(std::int32_t version, std::int32_t count, const std::string &records)
{
    return std::string("ZidovuZu!\0\0\0\0\0\0\0", 16) + le32(version) + le32(count) + records;
}

inline std::string blanks(int records)
{
    return std::string(896 * static_cast<std::size_t>(records), '\0');
}

} // namespace belvane::testing
