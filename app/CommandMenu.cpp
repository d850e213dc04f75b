#include "CommandMenu.h"

#include <QAction>
#include <QMenu>

namespace belvane {

namespace {

struct MenuItem
{
    int id; // 0 for a separator
    const char *text;
};

constexpr MenuItem menuItems[] = {
    {commandShow, "表示"},
    {commandHistory, "受信履歴"},
    {commandSettings, "設定"},
    {commandImportList, "動作ファイルリストのインポート"},
    {commandExportList, "動作ファイルリストのエクスポート"},
    {commandWriteListText, "動作ファイルリストのテキスト出力"},
    {0, nullptr},
    {commandOpenFolderAndQuit, "自己フォルダ開いて終了"},
    {commandQuit, "終了"},
    {0, nullptr},
    {commandAbout, "バージョン情報"},
    {commandSupportPage, "サポートページへ"},
};

} // namespace

std::unique_ptr<QMenu> buildCommandMenu(QWidget *parent)
{
    auto menu = std::make_unique<QMenu>(parent);
    for (const MenuItem &item : menuItems) {
        if (item.id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(QString::fromUtf8(item.text));
        action->setData(item.id);
    }
    return menu;
}

} // namespace belvane
