#include "ActionListCommands.h"

#include "ActionListFile.h"
#include "ActionListTransfer.h"
#include "UserPrompts.h"

#include <QFile>

namespace belvane {

namespace {

const QString listFilter = QStringLiteral("Belvane動作登録ファイル(*.acd)|*.acd|全て(*.*)|*.*|");
const QString textFilter = QStringLiteral("テキストファイル(*.txt)|*.txt|全て(*.*)|*.*|");

// The file the user chose in a dialog opened in the program folder; empty when cancelled.
QString choose(QWidget *parent, UserPrompts &prompts, const std::string &programFolder, bool save,
               const QString &filter, const QString &suffix)
{
    UserPrompts::FileRequest request;
    request.save = save;
    request.folder = QFile::decodeName(QByteArray::fromStdString(programFolder));
    request.filter = filter;
    request.defaultSuffix = suffix;
    request.mustExist = !save;
    request.confirmOverwrite = save;
    return prompts.chooseFile(parent, request);
}

std::string nativePath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

void warn(QWidget *parent, UserPrompts &prompts, const QString &text)
{
    prompts.message(parent, text, UserPrompts::Icon::Warning);
}

void done(QWidget *parent, UserPrompts &prompts, const QString &text, const QString &path)
{
    prompts.message(parent, text + QStringLiteral("\r\n") + path, UserPrompts::Icon::Information);
}

} // namespace

void exportActionList(QWidget *parent, UserPrompts &prompts, const std::string &programFolder,
                      const std::string &actionListPath)
{
    const QString chosen = choose(parent, prompts, programFolder, true, listFilter, QStringLiteral("acd"));
    if (chosen.isEmpty()) {
        return;
    }
    const std::string target = nativePath(chosen);
    if (isSameFile(target, actionListPath)) {
        warn(parent, prompts, QStringLiteral("使用中のBelvane動作登録ファイルにはエクスポートできません。"));
        return;
    }
    if (!copyReplacing(actionListPath, target)) {
        warn(parent, prompts, QStringLiteral("エクスポートに失敗しました(Disk i/o Error)。"));
        return;
    }
    done(parent, prompts, QStringLiteral("ファイルへのエクスポートが完了しました。"), chosen);
}

void importActionList(QWidget *parent, UserPrompts &prompts, const std::string &programFolder,
                      const std::string &actionListPath)
{
    const QString chosen = choose(parent, prompts, programFolder, false, listFilter, QStringLiteral("acd"));
    if (chosen.isEmpty()) {
        return;
    }
    const std::string source = nativePath(chosen);
    if (isSameFile(source, actionListPath)) {
        warn(parent, prompts,
             QStringLiteral("使用中のBelvane動作登録ファイルからのインポートは無意味です。"));
        return;
    }
    if (!isImportableList(source)) {
        warn(parent, prompts,
             QStringLiteral("指定されたファイルは Belvane用動作登録ファイルではありません。"));
        return;
    }
    // The copy must bring every record the checked header promised, or the old list stays.
    if (!copyReplacing(source, actionListPath, ActionListFile::defaultListBytes)) {
        warn(parent, prompts, QStringLiteral("ファイルからのインポートに失敗しました(Disk i/o Error)。"));
        return;
    }
    done(parent, prompts, QStringLiteral("ファイルからのインポートが完了しました。"), chosen);
}

void writeActionListText(QWidget *parent, UserPrompts &prompts, const std::string &programFolder,
                         const std::string &actionListPath)
{
    const QString chosen = choose(parent, prompts, programFolder, true, textFilter, QStringLiteral("txt"));
    if (chosen.isEmpty()) {
        return;
    }
    const std::string target = nativePath(chosen);
    if (isSameFile(target, actionListPath)) {
        warn(parent, prompts, QStringLiteral("使用中のBelvane動作登録ファイルには出力できません。"));
        return;
    }
    switch (writeListing(target, actionListPath)) {
    case ListingOutcome::CannotCreate:
        warn(parent, prompts, QStringLiteral("テキストファイルがクリエイトできません。"));
        return;
    case ListingOutcome::ListUnusable:
        warn(parent, prompts, QStringLiteral("Belvane用動作登録ファイルがオープンできません。"));
        return;
    case ListingOutcome::WriteFailed:
        warn(parent, prompts, QStringLiteral("テキストファイルへの出力に失敗しました(Disk i/o Error)。"));
        return;
    case ListingOutcome::Written:
        break;
    }
    done(parent, prompts, QStringLiteral("テキストファイルへの出力が完了しました。"), chosen);
}

} // namespace belvane
