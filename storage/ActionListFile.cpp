#include "ActionListFile.h"

#include "PosixFile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace belvane {

namespace {

constexpr std::string_view signature = "ZidovuZu!";
constexpr std::size_t versionOffset = 16;
constexpr std::size_t countOffset = 20;
constexpr std::size_t longestPath = 4095;
constexpr std::int32_t modeReading = 1;
constexpr std::int32_t modeWriting = 2;

using Header = std::array<unsigned char, ActionListFile::headerSize>;
using RecordImage = std::array<unsigned char, ActionRecord::size>;

off_t recordOffset(std::int32_t index)
{
    return ActionListFile::headerSize + static_cast<off_t>(ActionRecord::size) * index;
}

// Opens an existing regular file and takes its exclusive lock; -1 when either fails.
int openExisting(const std::string &path, int access)
{
    int fd = -1;
    // O_NONBLOCK keeps a FIFO or device at the path from stalling the open; it has no effect on the
    // regular files that are all we go on to use.
    do {
        fd = ::open(path.c_str(), access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -1;
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !posix::lockExclusive(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool seekTo(int fd, off_t offset)
{
    return ::lseek(fd, offset, SEEK_SET) == offset;
}

// Creates the file with its header and `count` blank records. A list that could not be written whole
// is removed again, so the next use creates it afresh rather than meeting a broken file.
bool createList(const std::string &path, std::int32_t version, std::int32_t count)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        return false;
    }
    if (!posix::lockExclusive(fd)) {
        ::close(fd);
        return false;
    }
    Header header {};
    std::memcpy(header.data(), signature.data(), signature.size());
    writeInt32Le(header.data() + versionOffset, version);
    writeInt32Le(header.data() + countOffset, count);
    bool written = posix::writeFully(fd, header.data(), header.size());
    const RecordImage blank {};
    for (std::int32_t i = 0; written && i < count; ++i) {
        written = posix::writeFully(fd, blank.data(), blank.size());
    }
    if (!written) {
        ::unlink(path.c_str());
    }
    ::close(fd);
    return written;
}

// Reads one record image at the file's position; missing bytes of a file cut short read as zeros.
std::int32_t readRecordFrom(int fd, ActionRecord &record)
{
    RecordImage image {};
    const auto got = static_cast<std::int32_t>(posix::readFully(fd, image.data(), image.size()));
    if (got >= 0) {
        record = ActionRecord::fromBytes(image.data());
    }
    return got;
}

std::int32_t beginPass(ActionListFile &list, int access, std::int32_t passMode)
{
    if (list.openVersion == 0) {
        return ActionListFile::notOpen;
    }
    // A handle kept after a failed positioning still counts as open until Close.
    if (list.mode != 0 || list.handle >= 0) {
        return ActionListFile::wrongMode;
    }
    list.handle = openExisting(list.path, access);
    if (list.handle < 0) {
        return ActionListFile::ioFailure;
    }
    if (!seekTo(list.handle, ActionListFile::headerSize)) {
        return ActionListFile::ioFailure;
    }
    list.mode = passMode;
    return list.count;
}

// The checks and positioning shared by ReadRecord and WriteRecord: a result to return at once, or
// nothing when the transfer may go ahead at the file's position.
std::optional<std::int32_t> positionPass(const ActionListFile &list, std::int32_t index,
                                         std::int32_t passMode)
{
    if (list.openVersion == 0) {
        return ActionListFile::notOpen;
    }
    if (list.mode != passMode || list.handle < 0) {
        return ActionListFile::wrongMode;
    }
    if (index < -1 || index >= list.count) {
        return ActionListFile::outOfRange;
    }
    if (index >= 0) {
        if (!seekTo(list.handle, recordOffset(index))) {
            return ActionListFile::ioFailure;
        }
        return std::nullopt;
    }
    const off_t here = ::lseek(list.handle, 0, SEEK_CUR);
    if (here < 0) {
        return ActionListFile::ioFailure;
    }
    if (here >= recordOffset(list.count)) {
        return 0;
    }
    return std::nullopt;
}

} // namespace

ActionListFile::~ActionListFile()
{
    Close();
}

std::int32_t ActionListFile::OpenOrCreate(std::int32_t requestedCount, const std::string &listPath)
{
    openVersion = 0;
    count = 0;
    path.clear();
    if (listPath.size() > longestPath || listPath.find('\0') != std::string::npos) {
        return 0;
    }
    struct stat info
    {
    };
    if (::stat(listPath.c_str(), &info) != 0) {
        const std::int32_t n = requestedCount == 0 ? defaultCount : requestedCount;
        if (n < 0 || !createList(listPath, versionToWrite, n)) {
            return 0;
        }
        openVersion = versionToWrite;
        count = n;
        path = listPath;
        return count;
    }
    const int fd = openExisting(listPath, O_RDONLY);
    if (fd < 0) {
        return 0;
    }
    Header header {};
    const auto got = static_cast<std::int32_t>(posix::readFully(fd, header.data(), header.size()));
    ::close(fd);
    // Only the nine signature characters are compared; the rest of the signature field is not examined.
    if (got != headerSize || std::memcmp(header.data(), signature.data(), signature.size()) != 0) {
        return 0;
    }
    openVersion = readInt32Le(header.data() + versionOffset);
    count = readInt32Le(header.data() + countOffset);
    path = listPath;
    return count;
}

std::int32_t ActionListFile::BeginRead()
{
    return beginPass(*this, O_RDONLY, modeReading);
}

std::int32_t ActionListFile::BeginWrite()
{
    return beginPass(*this, O_WRONLY, modeWriting);
}

std::int32_t ActionListFile::ReadRecord(std::int32_t index, ActionRecord &record)
{
    if (const auto early = positionPass(*this, index, modeReading)) {
        return *early;
    }
    return readRecordFrom(handle, record);
}

std::int32_t ActionListFile::WriteRecord(std::int32_t index, const ActionRecord &record)
{
    if (const auto early = positionPass(*this, index, modeWriting)) {
        return *early;
    }
    const RecordImage image = record.toBytes();
    return posix::writeFully(handle, image.data(), image.size()) ? static_cast<std::int32_t>(image.size())
                                                                 : ioFailure;
}

std::int32_t ActionListFile::Close()
{
    mode = 0;
    if (handle < 0) {
        return 1;
    }
    ::close(handle);
    handle = -1;
    return 0;
}

std::int32_t ActionListFile::FetchRecord(std::int32_t index, ActionRecord &record)
{
    if (index < 0 || index >= count) {
        return outOfRange;
    }
    if (openVersion == 0) {
        return notOpen;
    }
    const int fd = openExisting(path, O_RDONLY);
    if (fd < 0) {
        return ioFailure;
    }
    const std::int32_t result = seekTo(fd, recordOffset(index)) ? readRecordFrom(fd, record) : ioFailure;
    ::close(fd);
    return result;
}

void ActionListFile::CreateDefault(const std::string &listPath, const std::string &programFolder)
{
    OpenOrCreate(defaultListCount, listPath);
    BeginWrite();
    const auto writeSound = [&](std::int32_t level, std::string_view sound) {
        ActionRecord record;
        record.enabled = 1;
        record.windowSize = 0;
        // A sound path cut to fit its field would name some other file: such a level stays blank.
        if (!setFieldText(record.actionFile, programFolder + std::string(sound))) {
            return;
        }
        setFieldText(record.name, sound);
        WriteRecord(level, record);
    };
    writeSound(0, "Malarm.wav");
    writeSound(1, "Salarm.wav");
    Close();
}

} // namespace belvane
