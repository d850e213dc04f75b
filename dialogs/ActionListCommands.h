#pragma once

#include <string>

class QWidget;

// The three menu commands that move the action list in and out. Each runs its file dialog and message
// boxes modally over `parent` through `prompts`, and opens the file dialog in `programFolder` (in the
// file system's encoding, ending in '/'). `actionListPath` is the in-use list, in the same encoding;
// a command never writes into it, except an import that passed its checks, which replaces it whole.
namespace belvane {

class UserPrompts;

// "動作ファイルリストのエクスポート": copies the in-use list to a file the user names.
void exportActionList(QWidget *parent, UserPrompts &prompts, const std::string &programFolder,
                      const std::string &actionListPath);

// "動作ファイルリストのインポート": replaces the in-use list by a 50-record list file the user picks.
void importActionList(QWidget *parent, UserPrompts &prompts, const std::string &programFolder,
                      const std::string &actionListPath);

// "動作ファイルリストのテキスト出力": writes the enabled entries of the in-use list as tab-separated
// cp932 text into a file the user names.
void writeActionListText(QWidget *parent, UserPrompts &prompts, const std::string &programFolder,
                         const std::string &actionListPath);

} // namespace belvane
