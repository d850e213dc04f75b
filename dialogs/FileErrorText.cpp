#include "FileErrorText.h"

#include <string_view>

namespace belvane {

namespace {

// %1 stands for the file's path.
std::string_view textFor(SettingsFileError cause)
{
    switch (cause) {
    case SettingsFileError::None:
        return {};
    case SettingsFileError::AccessDenied:
        return "%1 へのｱｸｾｽは拒否されました。";
    case SettingsFileError::SharingViolation:
        return "%1 へのｱｸｾｽ中に共有違反が発生しました。";
    case SettingsFileError::DiskFull:
        return "%1 を保存できません。ﾃﾞｨｽｸに空きがありません。";
    case SettingsFileError::FolderNotFound:
        return "%1 を保存するﾌｫﾙﾀﾞが見つかりません。";
    case SettingsFileError::ShortRead:
        return "%1 を最後まで読み込めませんでした。";
    case SettingsFileError::Other:
        break;
    }
    return "%1 の読み書き中にｴﾗｰが発生しました。";
}

} // namespace

QString settingsFileMessage(const SettingsFileResult &result)
{
    if (result.ok) {
        return {};
    }
    // The path goes in as the file system's bytes, so the text names the file as the system does.
    std::string message(textFor(result.cause));
    message.replace(message.find("%1"), 2, result.path);
    return QString::fromStdString(message);
}

} // namespace belvane
