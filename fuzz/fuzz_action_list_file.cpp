// Feeds arbitrary bytes to the action list reader as a list file on disk: opening, sequential and
// indexed reads and one-shot lookups must never crash, and every whole record must survive a write
// and read back unchanged.
#include "ActionListFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

const std::string &listPath()
{
    // One file per fuzzing process, in memory where the system offers it, rewritten for every input.
    static const std::string path = (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : "/tmp")
        + "/belvane-fuzz-list-" + std::to_string(getpid()) + ".acd";
    return path;
}

bool writeInput(const std::string &path, const std::uint8_t *data, std::size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = write(fd, data + done, size - done);
        if (put <= 0) {
            break;
        }
        done += static_cast<std::size_t>(put);
    }
    close(fd);
    return done == size;
}

bool sameContent(const std::string &path, const std::uint8_t *data, std::size_t size)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // One byte more than expected, so a file that grew shows as different.
    std::string content(size + 1, '\0');
    std::size_t done = 0;
    ssize_t got = 0;
    while (done < content.size() && (got = read(fd, content.data() + done, content.size() - done)) > 0) {
        done += static_cast<std::size_t>(got);
    }
    close(fd);
    return got >= 0 && done == size && (size == 0 || std::memcmp(content.data(), data, size) == 0);
}

void removeList()
{
    unlink(listPath().c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using belvane::ActionListFile;
    using belvane::ActionRecord;
    static const bool cleanUp = std::atexit(removeList) == 0;
    static_cast<void>(cleanUp);
    const std::string &path = listPath();
    if (!writeInput(path, data, size)) {
        return 0;
    }
    ActionListFile list;
    const std::int32_t count = list.OpenOrCreate(0, path);
    ActionRecord record;
    // Indices from the input's bytes, folded so that valid, sequential (-1) and refused ones all occur.
    const auto indexAt = [&](std::size_t i) {
        return size == 0 ? 0 : static_cast<std::int8_t>(data[(i * 131) % size]) % 16;
    };
    if (list.BeginRead() >= 0) {
        int reads = 0;
        while (reads < 64 && list.ReadRecord(-1, record) > 0) {
            ++reads;
        }
        for (std::size_t i = 0; i < 8; ++i) {
            list.ReadRecord(indexAt(i), record);
        }
    }
    list.Close();
    for (std::size_t i = 8; i < 16; ++i) {
        list.FetchRecord(indexAt(i), record);
    }
    // Writing back a record just read must leave the file exactly as it was.
    const auto whole = static_cast<std::int32_t>(ActionRecord::size);
    if (count > 0 && list.FetchRecord(0, record) == whole) {
        const bool rewritten = list.BeginWrite() == count && list.WriteRecord(0, record) == whole;
        if (list.Close() != 0 || !rewritten || !sameContent(path, data, size)) {
            std::abort();
        }
    }
    list.Close();
    return 0;
}
