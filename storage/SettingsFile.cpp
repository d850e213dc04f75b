#include "SettingsFile.h"

#include "PosixFile.h"

#include "ActionRecord.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>

namespace belvane {

namespace {

using namespace posix;

constexpr std::size_t windowXOffset = 0;
constexpr std::size_t windowYOffset = 4;
constexpr std::size_t portOffset = 8;
constexpr std::size_t reserved1Offset = 12;
constexpr std::size_t reserved2Offset = 268;
constexpr std::size_t reserved3Offset = 524;
constexpr std::size_t reserved4Offset = 780;

static_assert(reserved4Offset + sizeof(SettingsRecord::reserved4) == SettingsRecord::size);

using Image = std::array<unsigned char, SettingsRecord::size>;

SettingsFileResult failure(SettingsFileError cause, const std::string &path)
{
    return {false, cause, path};
}

SettingsFileError causeOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return SettingsFileError::AccessDenied;
    case EWOULDBLOCK:
        return SettingsFileError::SharingViolation;
    case ENOSPC:
    case EDQUOT:
        return SettingsFileError::DiskFull;
    case ENOENT:
    case ENOTDIR:
        return SettingsFileError::FolderNotFound;
    default:
        return SettingsFileError::Other;
    }
}

SettingsFileResult failureFromErrno(const std::string &path)
{
    return failure(causeOf(errno), path);
}

} // namespace

std::array<unsigned char, SettingsRecord::size> SettingsRecord::toBytes() const
{
    Image image {};
    writeInt32Le(image.data() + windowXOffset, windowX);
    writeInt32Le(image.data() + windowYOffset, windowY);
    writeInt32Le(image.data() + portOffset, port);
    std::memcpy(image.data() + reserved1Offset, reserved1.data(), reserved1.size());
    std::memcpy(image.data() + reserved2Offset, reserved2.data(), reserved2.size());
    std::memcpy(image.data() + reserved3Offset, reserved3.data(), reserved3.size());
    std::memcpy(image.data() + reserved4Offset, reserved4.data(), reserved4.size());
    return image;
}

SettingsRecord SettingsRecord::fromBytes(const unsigned char *bytes)
{
    SettingsRecord record;
    record.windowX = readInt32Le(bytes + windowXOffset);
    record.windowY = readInt32Le(bytes + windowYOffset);
    record.port = readInt32Le(bytes + portOffset);
    std::memcpy(record.reserved1.data(), bytes + reserved1Offset, record.reserved1.size());
    std::memcpy(record.reserved2.data(), bytes + reserved2Offset, record.reserved2.size());
    std::memcpy(record.reserved3.data(), bytes + reserved3Offset, record.reserved3.size());
    std::memcpy(record.reserved4.data(), bytes + reserved4Offset, record.reserved4.size());
    return record;
}

std::uint32_t FileSizeOf(const std::string &path)
{
    if (path.find('\0') != std::string::npos) {
        return 0;
    }
    // The open only asks for the size, and takes the hold so a file in use counts as none.
    const Descriptor fd(openHeld(path, O_RDONLY));
    struct stat info
    {
    };
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
        return 0;
    }
    constexpr auto largest = std::numeric_limits<std::uint32_t>::max();
    if (static_cast<std::uintmax_t>(info.st_size) > largest) {
        return largest;
    }
    return static_cast<std::uint32_t>(info.st_size);
}

SettingsFileResult LoadSettings(const std::string &path, SettingsRecord &record)
{
    if (FileSizeOf(path) != SettingsRecord::size) {
        return {};
    }
    const Descriptor fd(openHeld(path, O_RDONLY));
    if (!fd.valid()) {
        // Gone between the size check and now: as good as missing.
        return errno == ENOENT ? SettingsFileResult {} : failureFromErrno(path);
    }
    // One byte more than the record tells a file that grew meanwhile from one of the right size.
    std::array<unsigned char, SettingsRecord::size + 1> image {};
    const ssize_t got = readFully(fd.get(), image.data(), image.size());
    if (got < 0) {
        return failureFromErrno(path);
    }
    if (static_cast<std::size_t>(got) < SettingsRecord::size) {
        return failure(SettingsFileError::ShortRead, path);
    }
    if (static_cast<std::size_t>(got) == SettingsRecord::size) {
        record = SettingsRecord::fromBytes(image.data());
    }
    return {};
}

SettingsFileResult SaveSettings(const std::string &path, const SettingsRecord &record)
{
    if (path.empty() || path.find('\0') != std::string::npos) {
        return failure(SettingsFileError::FolderNotFound, path);
    }
    // Open the old file as every user of it does, so a save waits for no one and fails while another
    // open holds it; opening it for writing also refuses a file the user made read-only.
    const Descriptor existing(openHeld(path, O_WRONLY));
    if (!existing.valid() && errno != ENOENT) {
        return failureFromErrno(path);
    }
    const Image image = record.toBytes();
    const auto write = [&](int fd) {
        return writeFully(fd, image.data(), image.size());
    };
    // A folder that will not sync after the rename still holds the new content: the save happened.
    if (replaceFile(path, existing.get(), write) == Replaced::No) {
        return failureFromErrno(path);
    }
    return {};
}

} // namespace belvane
