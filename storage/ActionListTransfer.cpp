#include "ActionListTransfer.h"

#include "PosixFile.h"

#include "ActionListFile.h"
#include "ByteText.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace belvane {

namespace {

using namespace posix;

// cp932 texts of the listing.
constexpr std::string_view listingHeading =
    "No\t\x93o\x98^\x96\xBC\t\x93\xAE\x8D\xEC\x83t\x83@\x83"
    "C\x83\x8B\t\x83p\x83\x89\x83\x81\x81[\x83^\x81[\t\x91\xE5\x82\xAB\x82\xB3\r\n";
constexpr std::string_view normalText = "\x92\xCA\x8F\xED"; // 通常
constexpr std::string_view minimisedText = "\x8D\xC5\x8F\xAC\x89\xBB"; // 最小化
constexpr std::string_view maximisedText = "\x8D\xC5\x91\xE5\x89\xBB"; // 最大化

// Copies everything `from` holds into `to`; the number of bytes copied, or -1.
std::intmax_t copyContent(int from, int to)
{
    std::array<char, 64 * 1024> buffer {};
    std::intmax_t total = 0;
    for (;;) {
        const ssize_t got = readFully(from, buffer.data(), buffer.size());
        if (got < 0 || !writeFully(to, buffer.data(), static_cast<std::size_t>(got))) {
            return -1;
        }
        total += got;
        if (static_cast<std::size_t>(got) < buffer.size()) {
            return total;
        }
    }
}

} // namespace

std::string listingHeader()
{
    return std::string(listingHeading);
}

std::string listingLine(std::int32_t level, const ActionRecord &record)
{
    std::array<char, 16> number {};
    std::snprintf(number.data(), number.size(), "%02d", static_cast<int>(level));
    std::string_view size = "-";
    switch (record.windowSize) {
    case 0:
        size = normalText;
        break;
    case 1:
        size = minimisedText;
        break;
    case 2:
        size = maximisedText;
        break;
    default:
        break;
    }
    std::string line(number.data());
    for (const std::string &field : {fieldText(record.name), fieldText(record.actionFile),
                                     fieldText(record.parameters), std::string(size)}) {
        line += '\t';
        line += field;
    }
    line += "\r\n";
    return line;
}

std::optional<std::string> actionListText(const std::string &listPath)
{
    ActionListFile list;
    if (list.OpenOrCreate(0, listPath) != ActionListFile::defaultListCount) {
        return std::nullopt;
    }
    // A list that cannot be read (held by another program) would otherwise come out as a heading alone
    // and be announced as a finished listing.
    if (list.BeginRead() < 0) {
        list.Close();
        return std::nullopt;
    }
    std::string text = listingHeader();
    for (std::int32_t level = 0; level < ActionListFile::defaultListCount; ++level) {
        ActionRecord record;
        // A record that does not read whole (a list cut short) makes the list a damaged one: listing
        // the records before it and announcing a finished listing would hide the loss.
        if (list.ReadRecord(-1, record) != static_cast<std::int32_t>(ActionRecord::size)) {
            list.Close();
            return std::nullopt;
        }
        if (record.enabled == 1) {
            text += listingLine(level, record);
        }
    }
    list.Close();
    return text;
}

ListingOutcome writeListing(const std::string &textPath, const std::string &listPath)
{
    if (textPath.empty() || textPath.find('\0') != std::string::npos) {
        return ListingOutcome::CannotCreate;
    }
    // Truncated only once it is ours: a file that another program holds keeps its content.
    const Descriptor text(openRetrying(textPath, O_WRONLY | O_CREAT | O_NONBLOCK, 0666));
    if (!text.valid() || !isRegularFile(text.get()) || !lockExclusive(text.get())
        || ::ftruncate(text.get(), 0) != 0) {
        return ListingOutcome::CannotCreate;
    }
    const std::optional<std::string> listing = actionListText(listPath);
    if (!listing) {
        return ListingOutcome::ListUnusable;
    }
    if (!writeFully(text.get(), listing->data(), listing->size()) || !syncRetrying(text.get())) {
        return ListingOutcome::WriteFailed;
    }
    return ListingOutcome::Written;
}

bool isSameFile(const std::string &chosen, const std::string &inUse)
{
    // The file system's encoding is UTF-8, which never puts an ASCII byte inside a multi-byte
    // character, so folding single bytes folds exactly the ASCII letters.
    if (upperAscii(chosen) == upperAscii(inUse)) {
        return true;
    }
    struct stat chosenInfo
    {
    };
    struct stat inUseInfo
    {
    };
    return ::stat(chosen.c_str(), &chosenInfo) == 0 && ::stat(inUse.c_str(), &inUseInfo) == 0
        && chosenInfo.st_dev == inUseInfo.st_dev && chosenInfo.st_ino == inUseInfo.st_ino;
}

bool isImportableList(const std::string &path)
{
    // The check must not create a missing list, as OpenOrCreate would.
    ActionListFile list;
    if (!exists(path) || list.OpenOrCreate(0, path) != ActionListFile::defaultListCount) {
        return false;
    }
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0
        && static_cast<std::uintmax_t>(info.st_size) >= ActionListFile::defaultListBytes;
}

bool copyReplacing(const std::string &source, const std::string &target, std::uintmax_t minimumBytes)
{
    if (source.find('\0') != std::string::npos || target.empty() || target.find('\0') != std::string::npos) {
        return false;
    }
    const Descriptor from(openHeld(source, O_RDONLY));
    // The old target is opened as every user of it opens it: a file held by another open, or one the
    // user made read-only, is not replaced.
    const Descriptor existing(openHeld(target, O_WRONLY));
    if (!from.valid() || (!existing.valid() && errno != ENOENT)) {
        return false;
    }
    const auto copy = [&](int fd) {
        const std::intmax_t copied = copyContent(from.get(), fd);
        return copied >= 0 && static_cast<std::uintmax_t>(copied) >= minimumBytes;
    };
    return replaceFile(target, existing.get(), copy) != Replaced::No;
}

} // namespace belvane
