#pragma once

#include "ActionRecord.h"

#include <cstdint>
#include <optional>
#include <string>

// Moving the action list between files: the text listing, the test that keeps a command off the
// in-use list, and the whole-file copies of export and import. Paths are in the file system's encoding;
// listing texts are cp932 bytes.
namespace belvane {

// The listing's heading line "No, 登録名, 動作ファイル, パラメーター, 大きさ", tab-separated, CR LF.
std::string listingHeader();
// One listed record: level as two digits, name, file, parameters and window-size text, tab-separated,
// CR LF. The fields are written as stored, so a tab inside one shifts the columns.
std::string listingLine(std::int32_t level, const ActionRecord &record);

// The whole listing of the list at `listPath`: the heading and a line for every enabled record, in
// level order. nullopt when the list does not open as a 50-record list or a record cannot be read
// whole. Like every user of the list, this creates a missing list with the default count.
std::optional<std::string> actionListText(const std::string &listPath);

enum class ListingOutcome {
    Written,
    CannotCreate, // the text file could not be created or taken for writing; nothing was touched
    ListUnusable, // the list is missing, damaged, locked or not a 50-record list; the text file is empty
    WriteFailed, // the text could not be written whole (full disk); the text file is incomplete
};

// Writes the listing of `listPath` into `textPath`, creating it or replacing its content.
[[nodiscard]] ListingOutcome writeListing(const std::string &textPath, const std::string &listPath);

// True when `chosen` names the in-use list `inUse`: either the two texts are equal with letters A-Z and
// a-z taken as equal regardless of case (every other character compared whole), or both name one
// existing file (a symbolic link, a hard link or another spelling of the path to it).
[[nodiscard]] bool isSameFile(const std::string &chosen, const std::string &inUse);

// True when `path` is an existing action list file whose header says 50 records and which holds all
// of them. A missing file is never created by this check.
[[nodiscard]] bool isImportableList(const std::string &path);

// Replaces `target` (or, when it is a symbolic link, the file it points to) by a copy of `source`.
// The copy goes to a fresh file beside the target, reaches the disk and is then renamed over the target,
// so a failure at any point leaves the target as it was; the target keeps its permission bits. Fails when the
// source cannot be read, when either file is held by another open, when an existing target cannot be written,
// and when fewer than `minimumBytes` bytes could be copied.
[[nodiscard]] bool copyReplacing(const std::string &source, const std::string &target,
                                 std::uintmax_t minimumBytes = 0);

} // namespace belvane
