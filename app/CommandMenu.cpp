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
    {CommandShow, "表示"},
    {CommandHistory, "受信履歴"},
    {CommandSettings, "設定"},
    {CommandImportList, "動作ファイルリストのインポート"},
    {CommandExportList, "動作ファイルリストのエクスポート"},
    {CommandWriteListText, "動作ファイルリストのテキスト出力"},
    {0, nullptr},
    {CommandOpenFolderAndQuit, "自己フォルダ開いて終了"},
    {CommandQuit, "終了"},
    {0, nullptr},
    {CommandAbout, "バージョン情報"},
    {CommandSupportPage, "サポートページへ"},
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
