#include "ActionListTransfer.h"

#include "PosixFile.h"

#include "ActionListFile.h"

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
constexpr std::string_view listingHeader =
    "No\t\x93o\x98^\x96\xBC\t\x93\xAE\x8D\xEC\x83t\x83@\x83"
    "C\x83\x8B\t\x83p\x83\x89\x83\x81\x81[\x83^\x81[\t\x91\xE5\x82\xAB\x82\xB3\r\n";
constexpr std::string_view normalText = "\x92\xCA\x8F\xED"; // 通常
constexpr std::string_view minimisedText = "\x8D\xC5\x8F\xAC\x89\xBB"; // 最小化
constexpr std::string_view maximisedText = "\x8D\xC5\x91\xE5\x89\xBB"; // 最大化

constexpr std::uintmax_t fullListBytes =
    ActionListFile::headerSize + static_cast<std::uintmax_t>(ActionRecord::size) * transferableCount;

// Copies everything `from` holds into `to`; the number of bytes copied, or -1.
std::intmax_t copyContent(int from, int to)
{
    std::array<char, 64 * 1024> buffer {};
    std::intmax_t total = 0;
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            return total;
        }
        if (!writeFully(to, buffer.data(), static_cast<std::size_t>(got))) {
            return -1;
        }
        total += got;
    }
}

char foldAsciiLetter(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string ListingHeader()
{
    return std::string(listingHeader);
}

std::string ListingLine(std::int32_t level, const ActionRecord &record)
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

std::optional<std::string> ActionListText(const std::string &listPath)
{
    ActionListFile list;
    if (list.OpenOrCreate(0, listPath) != transferableCount) {
        return std::nullopt;
    }
    // A list that cannot be read (held by another program) would otherwise come out as a heading alone
    // and be announced as a finished listing.
    if (list.BeginRead() < 0) {
        list.Close();
        return std::nullopt;
    }
    std::string text = ListingHeader();
    for (std::int32_t level = 0; level < transferableCount; ++level) {
        ActionRecord record;
        // A record that does not read whole (a list cut short) makes the list a damaged one: listing
        // the records before it and announcing a finished listing would hide the loss.
        if (list.ReadRecord(-1, record) != static_cast<std::int32_t>(ActionRecord::size)) {
            list.Close();
            return std::nullopt;
        }
        if (record.enabled == 1) {
            text += ListingLine(level, record);
        }
    }
    list.Close();
    return text;
}

ListingOutcome WriteListing(const std::string &textPath, const std::string &listPath)
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
    const std::optional<std::string> listing = ActionListText(listPath);
    if (!listing) {
        return ListingOutcome::ListUnusable;
    }
    if (!writeFully(text.get(), listing->data(), listing->size()) || !syncRetrying(text.get())) {
        return ListingOutcome::WriteFailed;
    }
    return ListingOutcome::Written;
}

bool IsSameFile(const std::string &chosen, const std::string &inUse)
{
    // The file system's encoding is UTF-8, which never puts an ASCII byte inside a multi-byte
    // character, so folding single bytes folds exactly the ASCII letters.
    if (chosen.size() == inUse.size()) {
        bool equal = true;
        for (std::size_t i = 0; equal && i < chosen.size(); ++i) {
            equal = foldAsciiLetter(chosen[i]) == foldAsciiLetter(inUse[i]);
        }
        if (equal) {
            return true;
        }
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

bool IsImportableList(const std::string &path)
{
    struct stat info
    {
    };
    if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    ActionListFile list;
    if (list.OpenOrCreate(0, path) != transferableCount) {
        return false;
    }
    return ::stat(path.c_str(), &info) == 0 && static_cast<std::uintmax_t>(info.st_size) >= fullListBytes;
}

bool CopyReplacing(const std::string &source, const std::string &target, std::uintmax_t minimumBytes)
{
    if (source.find('\0') != std::string::npos || target.empty() || target.find('\0') != std::string::npos) {
        return false;
    }
    const Descriptor from(openRetrying(source, O_RDONLY | O_NONBLOCK));
    if (!from.valid() || !isRegularFile(from.get()) || !lockExclusive(from.get())) {
        return false;
    }
    const std::string realTarget = resolveLink(target);
    // The old target is opened as every user of it opens it: a file held by another open, or one the
    // user made read-only, is not replaced.
    const Descriptor existing(openRetrying(realTarget, O_WRONLY | O_NONBLOCK));
    if (!existing.valid() && errno != ENOENT) {
        return false;
    }
    struct stat old
    {
    };
    if (existing.valid()
        && (::fstat(existing.get(), &old) != 0 || !S_ISREG(old.st_mode) || !lockExclusive(existing.get()))) {
        return false;
    }
    std::string siblingPath;
    const Descriptor copy(createSibling(realTarget, siblingPath));
    if (!copy.valid()) {
        return false;
    }
    bool done = lockExclusive(copy.get());
    if (done && existing.valid()) {
        // The replacement keeps the old file's owner where we may change it, and its permissions.
        static_cast<void>(::fchown(copy.get(), old.st_uid, old.st_gid));
        static_cast<void>(::fchmod(copy.get(), old.st_mode & 07777));
    }
    if (done) {
        const std::intmax_t copied = copyContent(from.get(), copy.get());
        done = copied >= 0 && static_cast<std::uintmax_t>(copied) >= minimumBytes;
    }
    done = done && syncRetrying(copy.get()) && ::rename(siblingPath.c_str(), realTarget.c_str()) == 0;
    if (!done) {
        ::unlink(siblingPath.c_str());
        return false;
    }
    // Without this the rename itself could be lost in a crash, leaving the old file after all.
    static_cast<void>(syncFolderOf(realTarget));
    return true;
}

} // namespace belvane
