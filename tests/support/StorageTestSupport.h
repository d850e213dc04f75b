#pragma once

#include "ActionListFile.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/file.h>
#include <sys/prctl.h>
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

// Runs `work` in a child process in which the system call `call` does nothing and returns -`error` (0
// when `error` is 0), for the descriptor `fd` only, or for every descriptor from 3 up when `fd` is -1:
// the system's rarer answers, for real. The child's exit code, or -1 when it did not exit (within 30 s).
inline int exitWithCallRefused(long call, int error, int fd, const std::function<int()> &work)
{
    return exitUnderSizeLimit(0, [&] {
        const auto number = static_cast<__u32>(call);
        const auto descriptor = static_cast<__u32>(fd < 0 ? 3 : fd);
        const __u16 compare = fd < 0 ? BPF_JGE : BPF_JEQ;
        sock_filter filter[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, number, 0, 3),
                                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
                                BPF_JUMP(BPF_JMP | compare | BPF_K, descriptor, 0, 1),
                                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<__u32>(error)),
                                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
        const sock_fprog program {static_cast<unsigned short>(std::size(filter)), filter};
        alarm(30);
        return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
                && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0
            ? work()
            : 253;
    });
}

// Runs `work` in a child process as an ordinary user, for whom permissions hold: run as root, the child
// first gives `folder` and all in it to the user nobody and becomes that user (254 when it cannot). A
// check that fails in the child is reported there but not counted here: let `work` say so.
inline int exitAsOrdinaryUser(const std::filesystem::path &folder, const std::function<int()> &work)
{
    return exitUnderSizeLimit(0, [&] {
        constexpr uid_t nobody = 65534;
        const auto give = [](const std::filesystem::path &path) {
            return lchown(path.c_str(), nobody, nobody) == 0;
        };
        const bool ordinary = geteuid() != 0
            || (give(folder)
                && std::ranges::all_of(std::filesystem::recursive_directory_iterator(folder), give)
                && setgroups(0, nullptr) == 0 && setgid(nobody) == 0 && setuid(nobody) == 0);
        return ordinary ? work() : 254;
    });
}

// Four bytes, least significant first.
inline std::string le32(std::int64_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<char>(bits), static_cast<char>(bits >> 8), static_cast<char>(bits >> 16),
            static_cast<char>(bits >> 24)};
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

// The heading line of every listing, "No 登録名 動作ファイル パラメーター 大きさ" in cp932.
inline const std::string listingHeading =
    "No\t\x93o\x98^\x96\xBC\t\x93\xAE\x8D\xEC\x83t\x83@\x83"
    "C\x83\x8B\t\x83p\x83\x89\x83\x81\x81[\x83^\x81[\t\x91\xE5\x82\xAB\x82\xB3\r\n";

// A new list of `count` records at `path`, written through ActionListFile; `fill` sets up each record.
inline void writeList(const std::string &path, std::int32_t count,
                      const std::function<void(int, ActionRecord &)> &fill)
{
    std::filesystem::remove(path);
    ActionListFile list;
    list.OpenOrCreate(count, path);
    list.BeginWrite();
    for (int i = 0; i < count; ++i) {
        ActionRecord record;
        fill(i, record);
        list.WriteRecord(-1, record);
    }
}

// A new list of `count` records in which each level in `actions` has its enabled mark and file as given,
// its level as its parameters and window size level % 3; the others are blank.
inline void writeActions(const std::string &path, std::int32_t count,
                         const std::map<int, std::pair<int, std::string>> &actions)
{
    writeList(path, count, [&](int level, ActionRecord &record) {
        if (const auto action = actions.find(level); action != actions.end()) {
            record.enabled = action->second.first;
            record.windowSize = level % 3;
            setFieldText(record.actionFile, action->second.second);
            setFieldText(record.parameters, std::to_string(level));
        }
    });
}

inline ActionRecord readRecord(const std::string &path, int index)
{
    ActionListFile list;
    ActionRecord record;
    list.OpenOrCreate(0, path);
    list.FetchRecord(index, record);
    return record;
}

// Holds the file at `path` locked, as another process's open of it would, until destroyed.
struct FileHolder
{
    explicit FileHolder(const std::string &path)
        : fd(::open(path.c_str(), O_RDONLY))
    {
        ::flock(fd, LOCK_EX | LOCK_NB);
    }
    ~FileHolder() { ::close(fd); }
    FileHolder(const FileHolder &) = delete;
    FileHolder &operator=(const FileHolder &) = delete;
    int fd;
};

} // namespace belvane::testing
