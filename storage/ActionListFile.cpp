#include "ActionListFile.h"

#include "PosixFile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <span>
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
// The version written into a list this program creates, and the size of a list created on request
// for no particular count.
constexpr std::int32_t versionToWrite = 1;
constexpr std::int32_t defaultCount = 20;

using Header = std::array<unsigned char, ActionListFile::headerSize>;
using RecordImage = std::array<unsigned char, ActionRecord::size>;

off_t recordOffset(std::int32_t index)
{
    return ActionListFile::headerSize + static_cast<off_t>(ActionRecord::size) * index;
}

bool usablePath(const std::string &path)
{
    return path.size() <= longestPath && path.find('\0') == std::string::npos;
}

bool seekTo(int fd, off_t offset)
{
    return ::lseek(fd, offset, SEEK_SET) == offset;
}

// Creates the list with its header, `first` as its first records and blanks after them, up to `count`
// records. The list appears whole or not at all: a crash or a full disk leaves no empty or torn list that
// would pass for a real one, and no list exists until it is held.
bool createList(const std::string &path, std::int32_t count, std::span<const ActionRecord> first = {})
{
    if (!usablePath(path) || count < 0) {
        return false;
    }
    const auto fill = [&](int fd) {
        Header header {};
        std::memcpy(header.data(), signature.data(), signature.size());
        writeInt32Le(header.data() + versionOffset, versionToWrite);
        writeInt32Le(header.data() + countOffset, count);
        bool written = posix::writeFully(fd, header.data(), header.size());
        for (std::int32_t i = 0; written && i < count; ++i) {
            const RecordImage image =
                static_cast<std::size_t>(i) < first.size() ? first[i].toBytes() : RecordImage {};
            written = posix::writeFully(fd, image.data(), image.size());
        }
        return written;
    };
    return posix::replaceFile(path, -1, fill, true) != posix::Replaced::No;
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
    if (!usablePath(listPath)) {
        return 0;
    }
    if (!posix::exists(listPath)) {
        const std::int32_t n = requestedCount == 0 ? defaultCount : requestedCount;
        if (!createList(listPath, n)) {
            return 0;
        }
        openVersion = versionToWrite;
        count = n;
        path = listPath;
        return count;
    }
    const int fd = posix::openHeld(listPath, O_RDONLY);
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

std::int32_t ActionListFile::beginPass(int access, Mode passMode)
{
    if (openVersion == 0) {
        return notOpen;
    }
    // A handle kept after a failed positioning still counts as open until Close.
    if (mode != Mode::Closed || handle >= 0) {
        return wrongMode;
    }
    handle = posix::openHeld(path, access);
    if (handle < 0) {
        return ioFailure;
    }
    if (!seekTo(handle, headerSize)) {
        return ioFailure;
    }
    mode = passMode;
    return count;
}

std::optional<std::int32_t> ActionListFile::positionPass(std::int32_t index, Mode passMode) const
{
    if (openVersion == 0) {
        return notOpen;
    }
    if (mode != passMode || handle < 0) {
        return wrongMode;
    }
    if (index < -1 || index >= count) {
        return outOfRange;
    }
    if (index >= 0) {
        if (!seekTo(handle, recordOffset(index))) {
            return ioFailure;
        }
        return std::nullopt;
    }
    const off_t here = ::lseek(handle, 0, SEEK_CUR);
    if (here < 0) {
        return ioFailure;
    }
    if (here >= recordOffset(count)) {
        return 0;
    }
    return std::nullopt;
}

std::int32_t ActionListFile::BeginRead()
{
    return beginPass(O_RDONLY, Mode::Reading);
}

std::int32_t ActionListFile::BeginWrite()
{
    return beginPass(O_WRONLY, Mode::Writing);
}

std::int32_t ActionListFile::ReadRecord(std::int32_t index, ActionRecord &record)
{
    if (const auto early = positionPass(index, Mode::Reading)) {
        return *early;
    }
    return readRecordFrom(handle, record);
}

std::int32_t ActionListFile::WriteRecord(std::int32_t index, const ActionRecord &record)
{
    if (const auto early = positionPass(index, Mode::Writing)) {
        return *early;
    }
    const RecordImage image = record.toBytes();
    return posix::writeFully(handle, image.data(), image.size()) ? static_cast<std::int32_t>(image.size())
                                                                 : ioFailure;
}

std::int32_t ActionListFile::Close()
{
    mode = Mode::Closed;
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
    const int fd = posix::openHeld(path, O_RDONLY);
    if (fd < 0) {
        return ioFailure;
    }
    const std::int32_t result = seekTo(fd, recordOffset(index)) ? readRecordFrom(fd, record) : ioFailure;
    ::close(fd);
    return result;
}

void ActionListFile::CreateDefault(const std::string &listPath, const std::string &programFolder)
{
    std::array<ActionRecord, 2> sounds {};
    const std::string_view names[] = {"Malarm.wav", "Salarm.wav"};
    for (std::size_t level = 0; level < sounds.size(); ++level) {
        ActionRecord record;
        record.enabled = 1;
        // Without a folder (its name has no cp932 form), or with a sound path cut to fit its field that
        // would name some other file, the level stays blank.
        if (!programFolder.empty()
            && setFieldText(record.actionFile, programFolder + std::string(names[level]))) {
            setFieldText(record.name, names[level]);
            sounds[level] = record;
        }
    }
    createList(listPath, defaultListCount, sounds);
}

} // namespace belvane
