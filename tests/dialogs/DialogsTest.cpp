// The settings dialog, its edit dialog, the list commands and the parts they are built from, driven
// through real widgets over a temporary list, recording services and scripted answers.
#include "ActionEditDialog.h"
#include "ActionListCommands.h"
#include "Cp932.h"
#include "FakeServices.h"
#include "FileErrorText.h"
#include "ScriptedPrompts.h"
#include "SettingsDialog.h"
#include "StorageTestSupport.h"
#include "SystemPrompts.h"
#include "TempDir.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

namespace belvane {
namespace {

namespace fs = std::filesystem;
using namespace testing;

struct Bench : ::testing::Test, PerformerBench
{
    template<typename T = QLineEdit>
    static T *child(const QWidget &w, const char *name)
    {
        return w.findChild<T *>(QString::fromLatin1(name));
    }
    static void click(const QWidget &w, const char *name) { child<QAbstractButton>(w, name)->click(); }
    static std::string sjis(const QString &text) { return cp932::fromUnicode(text).value(); }

    TempDir dir;
    ScriptedPrompts prompts;
    std::string listPath = dir.file("Belvane.acd");
};

struct SettingsDialogTest : Bench
{
    // A new dialog over the list, shown (and so initialised) with port 9912.
    void open()
    {
        prompts.texts.clear();
        prompts.icons.clear();
        dialog = std::make_unique<SettingsDialog>(listPath, 9912, performer, prompts, nullptr);
        dialog->show();
    }
    QTreeWidget *list() const { return child<QTreeWidget>(*dialog, "actionList"); }
    QStringList row(int r) const
    {
        const QTreeWidgetItem *item = list()->topLevelItem(r);
        return {item->text(0), item->text(1), item->text(2), item->text(3),
                item->text(4), item->text(5), item->text(6)};
    }
    void select(int r) const { list()->setCurrentItem(list()->topLevelItem(r)); }
    // Edits row `r`: `script` fills the edit dialog, which then ends with `end`, "ok" or "cancel".
    void edit(int r, const char *end, const std::function<void(ActionEditDialog &)> &script)
    {
        select(r);
        dialog->runModal = [&](QDialog &shown) {
            shown.show();
            script(static_cast<ActionEditDialog &>(shown));
            click(shown, end);
            return shown.result();
        };
        click(*dialog, "edit");
    }
    std::unique_ptr<SettingsDialog> dialog;
};

// Rows show the records; Edit, Test and Stop work on the selected row, and the edit dialog shows the
// row and performs the values it shows; OK writes the edits and the untouched rows back normalised,
// and Cancel asks first only after an edit ended with OK.
TEST_F(SettingsDialogTest,
       RowsShowTheRecordsEditTestAndStopWorkOnTheSelectedRowOnlyOkWritesNormalisedAndCancelAsks)
{
    const std::string sound = dir.file("Ring.Wav"), program = dir.file("x.mp3");
    writeFile(sound, "x");
    writeFile(program, "x");
    writeList(listPath, 50, [&](int i, ActionRecord &record) {
        // Any enabled mark but 1 is off, any window size but 1 and 2 normal.
        record = {.enabled = i < 2 ? 1 : 2, .windowSize = i < 2 ? 2 : 7};
        record.reserved.fill('r');
        setFieldText(record.name, "n");
        setFieldText(record.actionFile, i == 0 ? sound : program);
        setFieldText(record.parameters, "-q");
        setFieldText(record.workFolder, "\xEE\xF9"); // a cp932 text that does not survive Unicode
    });
    open();
    const QString shownProgram = QString::fromStdString(program);
    EXPECT_EQ(row(1), QStringList({"01", "●", "n", shownProgram, "-q", "最大化", QStringLiteral("\uFFE2")}));
    EXPECT_EQ(row(49), QStringList({"49", "…", "n", shownProgram, "-q", "通常", QStringLiteral("\uFFE2")}));
    EXPECT_EQ(child(*dialog, "port")->text(), "9912");
    click(*dialog, "edit");
    click(*dialog, "test");
    for (int r : {0, 1}) {
        select(r);
        click(*dialog, "test");
    }
    click(*dialog, "stop");
    const std::string chosen = sjis("/docs/鐘.mid");
    edit(1, "ok", [&](ActionEditDialog &edit) { // its Test performs the values it shows, or says why not
        EXPECT_EQ(child<QComboBox>(edit, "enabledMark")->currentIndex(), 1);
        EXPECT_EQ(child<QComboBox>(edit, "windowSize")->currentIndex(), 2);
        prompts.files = {QStringLiteral("/docs/鐘.mid")}; // and then a cancelled browse
        click(edit, "browseParameter");
        click(edit, "browseFile");
        child<QComboBox>(edit, "windowSize")->setCurrentIndex(1);
        click(edit, "test");
        child(edit, "actionFile")->setText(QString::fromStdString(dir.file("none.wav")));
        click(edit, "test");
        child<QComboBox>(edit, "enabledMark")->setEditText(QStringLiteral("yes"));
        click(edit, "test");
        child(edit, "name")->setText(QStringLiteral("警報"));
    });
    click(*dialog, "test");
    EXPECT_EQ(journal,
              (std::vector<std::string> {"wave play " + sound, "open " + program + " [-q] 3", "wave stop",
                                         "open " + program + " [" + chosen + "] 6"}));
    const QString noRow = "項目が選択されていません",
                  off = "設定の有効(●)/無効(…)が「無効(…)」になっています";
    EXPECT_EQ(prompts.texts, QStringList({noRow, noRow, "ファイルが存在しません", off, off}));
    click(*dialog, "cancel"); // answered no
    EXPECT_TRUE(prompts.questions.value(0).startsWith("登録内容の変更がなされてますが"));
    EXPECT_EQ(readRecord(listPath, 1).windowSize, 2) << "the file waits for OK";
    {
        const FileHolder holder(listPath);
        click(*dialog, "ok");
        EXPECT_EQ(prompts.texts.back(), "動作ファイルリストを保存できませんでした。");
    }
    EXPECT_TRUE(dialog->isVisible()) << "Cancel answered no and a failed save keep the dialog open";
    click(*dialog, "ok");
    for (int i : {1, 49}) {
        const ActionRecord r = readRecord(listPath, i);
        EXPECT_EQ(std::tuple(fieldText(r.name), fieldText(r.actionFile), fieldText(r.parameters), r.enabled,
                             r.windowSize, r.reserved, fieldText(r.workFolder)),
                  std::tuple(i == 1 ? sjis("警報") : "n", i == 1 ? dir.file("none.wav") : program,
                             i == 1 ? chosen : "-q", 0, i == 1 ? 1 : 0, ActionRecord().reserved, "\xEE\xF9"));
    }
    const ActionRecord untouched = readRecord(listPath, 0);
    EXPECT_EQ(std::pair(untouched.enabled, untouched.windowSize), std::pair(1, 2)) << "row 0 as it was";

    // A header's count is only a claim: rows stop where the records end, and OK writes no more. An edit
    // that ended with Cancel changes nothing, so Cancel closes without asking.
    writeFile(listPath, listBytes(1, INT32_MAX, blanks(2) + std::string(100, '\0')));
    open();
    EXPECT_EQ(list()->topLevelItemCount(), 3);
    edit(0, "cancel", [](ActionEditDialog &) {});
    click(*dialog, "cancel");
    EXPECT_EQ(prompts.questions.size(), 1) << "only the one after the edit that ended with OK";
    EXPECT_FALSE(dialog->isVisible());
    const std::string kept = readFile(listPath);
    open();
    edit(0, "ok", [](ActionEditDialog &e) { child(e, "name")->setText(QStringLiteral("x")); });
    prompts.answer = true; // discard the edit
    click(*dialog, "cancel");
    EXPECT_EQ(std::pair(dialog->isVisible(), readFile(listPath)), std::pair(false, kept));
    open();
    click(*dialog, "ok");
    EXPECT_EQ(readFile(listPath).size(), 24 + 3 * 896u);
}

// OK refuses what a field cannot take and says why, with the focus on the field and its text selected:
// the settings dialog's port must be an integer other than 0, the edit dialog's texts must fit their fields
// in cp932.
TEST_F(SettingsDialogTest, OkRefusesWhatAFieldCannotTakeWithTheFocusOnIt)
{
    const QString integer = "整数を入力してください。";
    const std::tuple<const char *, QString, QString, std::int32_t> cases[] = {
        // the field, its text, the refusal, the port taken (9912 as it was)
        {"port", "\t+9913 ", {}, 9913},
        {"port", "-5", {}, -5},
        {"port", "99a", integer, 9912},
        {"port", "", integer, 9912},
        {"port", "4294967297", integer, 9912},
        {"port", " -0", "ポート番号 0 では受信できません。", 9912}, // the system's choice of port
        {"name", QString(31, u'あ') + u'a', {}, 9912}, // 63 bytes
        {"name", QString(32, u'あ'), "63 文字以内で入力してください。", 9912},
        {"parameters", QString(128, u'パ'), "255 文字以内で入力してください。", 9912},
        {"name", "한국", "シフトJIS(cp932)で表せない文字が含まれています。", 9912}};
    for (const auto &[name, text, refusal, port] : cases) {
        SCOPED_TRACE(std::string(name) + ": " + text.toStdString());
        open();
        ActionEditDialog edit(performer, prompts, nullptr);
        edit.show();
        QDialog &shown = std::string(name) == "port" ? static_cast<QDialog &>(*dialog) : edit;
        QLineEdit *field = child(shown, name);
        field->setText(text);
        field->deselect();
        click(shown, "ok");
        EXPECT_EQ(prompts.texts, refusal.isEmpty() ? QStringList() : QStringList {refusal}) << name;
        EXPECT_EQ(shown.isVisible() && shown.focusWidget() == field, !refusal.isEmpty());
        EXPECT_EQ(field->selectedText(), refusal.isEmpty() ? "" : text);
        EXPECT_EQ(dialog->chosenPort(), port) << text.toStdString();
    }
}

using Command = void (*)(QWidget *, UserPrompts &, const std::string &, const std::string &);

struct ActionListCommandsTest : Bench
{
    // Runs `command` with the user choosing `name` in the folder (cancelling when empty); what it said,
    // the folder shown as "~/".
    std::string run(Command command, const std::string &name)
    {
        prompts.texts.clear();
        prompts.icons.clear();
        prompts.files = {name.empty() ? QString() : QString::fromStdString(dir.file(name))};
        command(nullptr, prompts, folder, listPath);
        return prompts.texts.join(u'|').replace(QString::fromStdString(folder), "~/").toStdString();
    }
    const std::string folder = dir.path().string() + "/";
    const std::string list = (ActionListFile().CreateDefault(listPath, folder), readFile(listPath));
};

// The in-use list is never written over nor imported under another name; the text listing's form is
// the storage tests', here it is of the in-use list and in the chosen file.
TEST_F(ActionListCommandsTest, TheListInUseIsKeptAndExportImportAndListingTakeOnlyWholeListsOrSayWhyNot)
{
    const std::pair<Command, std::string> commands[] = {
        {exportActionList, "使用中のBelvane動作登録ファイルにはエクスポートできません。"},
        {importActionList, "使用中のBelvane動作登録ファイルからのインポートは無意味です。"},
        {writeActionListText, "使用中のBelvane動作登録ファイルには出力できません。"}};
    // The list by another spelling, by a link (the same file by device and inode: written through, it
    // would lose the list), and a cancelled choice.
    fs::create_symlink(listPath, dir.file("link.acd"));
    for (const auto &[command, refused] : commands) {
        SCOPED_TRACE(refused);
        for (const char *name : {"BELVANE.acd", "link.acd", ""}) { // the last is a cancelled choice
            EXPECT_EQ(run(command, name), *name ? refused : "") << name;
            EXPECT_EQ(readFile(listPath), list) << name;
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2) << "only the list and the link";
    EXPECT_EQ(run(writeActionListText, "l.txt"), "テキストファイルへの出力が完了しました。\r\n~/l.txt");
    EXPECT_TRUE(readFile(dir.file("l.txt")).starts_with(listingHeading + "00\tMalarm.wav\t" + folder));
    EXPECT_EQ(run(writeActionListText, "no/such.txt"), "テキストファイルがクリエイトできません。");
    // A name as long as the file system allows: the copy's temporary name must fit as well.
    for (const std::string &name : {std::string("c.acd"), std::string(251, 'c') + ".acd"}) {
        EXPECT_EQ(run(exportActionList, name), "ファイルへのエクスポートが完了しました。\r\n~/" + name);
    }
    EXPECT_TRUE(prompts.fileRequests.back().confirmOverwrite);
    writeFile(dir.file("in.acd"), listBytes(1, 50, blanks(30)));
    EXPECT_EQ(run(importActionList, "in.acd"),
              "指定されたファイルは Belvane用動作登録ファイルではありません。");
    const std::string other = listBytes(1, 50, std::string(50 * 896, '\x5A'));
    writeFile(dir.file("in.acd"), other);
    {
        const FileHolder holder(listPath);
        EXPECT_EQ(run(importActionList, "in.acd"),
                  "ファイルからのインポートに失敗しました(Disk i/o Error)。");
    }
    EXPECT_EQ(readFile(listPath), list) << "neither a short list nor a list held elsewhere replaces it";
    EXPECT_EQ(run(importActionList, "in.acd"), "ファイルからのインポートが完了しました。\r\n~/in.acd");
    EXPECT_EQ(readFile(listPath), other);
    fs::remove(listPath);
    EXPECT_EQ(run(exportActionList, "c.acd"), "エクスポートに失敗しました(Disk i/o Error)。");
    EXPECT_EQ(readFile(dir.file("c.acd")), list);
    EXPECT_EQ(run(writeActionListText, "l.txt"), "Belvane用動作登録ファイルがオープンできません。");
    EXPECT_EQ(readFile(dir.file("l.txt")), "");
}

TEST(DialogPartsTest, FiltersConvertSavingAsksBeforeOverwritingAndFileFailuresNameTheirCause)
{
    EXPECT_EQ(fileDialogFilters("音源(*.wav/*.mid)|*.wav; *.mid|実行(*.exe)|*.exe|全て(*.*)|*.*||"),
              QStringList({"音源(*.wav/*.mid) (*.wav *.mid)", "実行(*.exe) (*.exe)", "全て(*.*) (*.*)"}));
    const auto saving = makeFileDialog(nullptr, {true, "/tmp", "全て(*.*)|*.*|", "txt", false, true});
    EXPECT_FALSE(saving->testOption(QFileDialog::DontConfirmOverwrite));
    // The settings file's failures as the user reads them: each cause in words of its own naming the file
    // (a "%1" in its path stays as it is), a denied access and a sharing violation in the system's words.
    const std::string path = "/p/%1 設定.cfg";
    const QString shown = QString::fromStdString(path);
    QStringList texts;
    using enum SettingsFileError;
    for (const auto cause : {AccessDenied, SharingViolation, DiskFull, FolderNotFound, ShortRead, Other}) {
        const QString text = settingsFileMessage({false, cause, path});
        EXPECT_EQ(std::pair(text.count(shown), texts.contains(text)), std::pair(qsizetype {1}, false))
            << text.toStdString();
        texts << text;
    }
    EXPECT_EQ(texts.value(0), shown + " へのｱｸｾｽは拒否されました。");
    EXPECT_EQ(texts.value(1), shown + " へのｱｸｾｽ中に共有違反が発生しました。");
    EXPECT_EQ(settingsFileMessage({true, None, path}), QString());
}

} // namespace
} // namespace belvane
