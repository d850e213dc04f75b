// The settings dialog, its edit dialog, the list commands and the parts they are built from, driven
// through real widgets over a temporary list, recording services and scripted answers.
#include "ActionEditDialog.h"
#include "ActionListCommands.h"
#include "Cp932.h"
#include "DialogUnits.h"
#include "FakeServices.h"
#include "ScriptedPrompts.h"
#include "SettingsDialog.h"
#include "StorageTestSupport.h"
#include "SystemPrompts.h"
#include "TempDir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

namespace belvane {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

struct Bench : ::testing::Test, testing::PerformerBench
{
    testing::TempDir dir;
    testing::ScriptedPrompts prompts;
    std::string listPath = dir.file("Belvane.acd");
};

template<typename T = QLineEdit>
T *child(const QWidget &parent, const char *name)
{
    return parent.findChild<T *>(QString::fromLatin1(name));
}

void click(const QWidget &parent, const char *name)
{
    child<QAbstractButton>(parent, name)->click();
}

std::string sjis(const QString &text)
{
    return cp932::fromUnicode(text).value();
}

const std::function<void(ActionEditDialog &)> nothing = [](ActionEditDialog &) {
};

struct SettingsDialogTest : Bench
{
    // A new dialog over the list, shown (and so initialised) with port 9912.
    void open()
    {
        prompts.messages.clear();
        dialog = std::make_unique<SettingsDialog>(performer, prompts, nullptr);
        dialog->listPath = listPath;
        dialog->port = 9912;
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
    void edit(int r, const char *end, const std::function<void(ActionEditDialog &)> &script = nothing)
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

TEST_F(SettingsDialogTest, RowsAndTheEditDialogShowTheRecordsAndOkWritesThemBackNormalised)
{
    testing::writeList(listPath, 50, [](int i, ActionRecord &record) {
        record.enabled = i == 1 ? 1 : 2; // anything but 1 is disabled
        record.windowSize = i == 1 ? 2 : 7; // anything but 1 and 2 is normal
        record.reserved.fill('r');
        setFieldText(record.name, "n");
        setFieldText(record.actionFile, "/a.wav");
        setFieldText(record.workFolder, "\xEE\xF9"); // a cp932 text that does not survive Unicode
    });
    open();
    EXPECT_EQ(row(1), QStringList({"01", "●", "n", "/a.wav", "", "最大化", QStringLiteral("\uFFE2")}));
    EXPECT_EQ(row(49), QStringList({"49", "…", "n", "/a.wav", "", "通常", QStringLiteral("\uFFE2")}));
    EXPECT_EQ(child(*dialog, "port")->text(), "9912");
    edit(1, "ok", [&](ActionEditDialog &edit) {
        EXPECT_EQ(child<QComboBox>(edit, "enabledMark")->currentIndex(), 1);
        EXPECT_EQ(child<QComboBox>(edit, "windowSize")->currentIndex(), 2);
        prompts.files = {QStringLiteral("/docs/鐘.mid")}; // and then a cancelled browse
        click(edit, "browseParameter");
        click(edit, "browseFile");
    });
    click(*dialog, "ok");
    for (int i : {1, 49}) {
        const ActionRecord r = testing::readRecord(listPath, i);
        EXPECT_EQ(
            std::tuple(r.enabled, r.windowSize, r.reserved, fieldText(r.parameters), fieldText(r.workFolder)),
            std::tuple(i == 1 ? 1 : 0, i == 1 ? 2 : 0, ActionRecord().reserved,
                       i == 1 ? sjis("/docs/鐘.mid") : "", "\xEE\xF9"));
        EXPECT_EQ(fieldText(r.actionFile), "/a.wav");
    }
    // A header's count is only a claim: rows stop where the records end, and OK writes no more.
    for (const std::int32_t count : {INT32_MAX, 50}) {
        writeFile(listPath, testing::listBytes(1, count, testing::blanks(2) + std::string(100, '\0')));
        open();
        EXPECT_EQ(list()->topLevelItemCount(), 3);
        click(*dialog, "ok");
        EXPECT_EQ(readFile(listPath).size(), 24 + 3 * 896u);
    }
}

TEST_F(SettingsDialogTest, EditTestAndStopWorkOnTheSelectedRowAndOnlyOkWritesTheEdits)
{
    const std::string sound = dir.file("Ring.Wav"), program = dir.file("x.mp3");
    writeFile(sound, "x");
    writeFile(program, "x");
    testing::writeList(listPath, 50, [&](int i, ActionRecord &record) {
        record.enabled = 1;
        record.windowSize = 2;
        setFieldText(record.actionFile, i == 0 ? sound : program);
        setFieldText(record.parameters, "-q");
    });
    open();
    click(*dialog, "edit");
    click(*dialog, "test");
    for (int r : {0, 1}) {
        select(r);
        click(*dialog, "test");
    }
    click(*dialog, "stop");
    edit(1, "ok", [&](ActionEditDialog &edit) { // its Test performs the values it shows, or says why not
        child<QComboBox>(edit, "windowSize")->setCurrentIndex(1);
        click(edit, "test");
        child(edit, "actionFile")->setText(QString::fromStdString(dir.file("none.wav")));
        click(edit, "test");
        child<QComboBox>(edit, "enabledMark")->setEditText(QStringLiteral("yes"));
        click(edit, "test");
        child(edit, "name")->setText(QStringLiteral("警報"));
    });
    click(*dialog, "test");
    EXPECT_EQ(journal.calls,
              (std::vector<std::string> {"wave play " + sound, "open " + program + " [-q] 3", "wave stop",
                                         "open " + program + " [-q] 6"}));
    const QString noRow = "項目が選択されていません",
                  off = "設定の有効(●)/無効(…)が「無効(…)」になっています";
    EXPECT_EQ(prompts.texts(), QStringList({noRow, noRow, "ファイルが存在しません", off, off}));
    click(*dialog, "cancel"); // answered no
    EXPECT_TRUE(prompts.questions.value(0).startsWith("登録内容の変更がなされてますが"));
    EXPECT_EQ(testing::readRecord(listPath, 1).windowSize, 2) << "the file waits for OK";
    {
        const testing::FileHolder holder(listPath);
        click(*dialog, "ok");
        EXPECT_EQ(prompts.texts().back(), "動作ファイルリストを保存できませんでした。");
    }
    EXPECT_TRUE(dialog->isVisible()) << "Cancel answered no and a failed save keep the dialog open";
    click(*dialog, "ok");
    const ActionRecord written = testing::readRecord(listPath, 1);
    EXPECT_EQ(std::tuple(fieldText(written.name), fieldText(written.actionFile), written.enabled,
                         written.windowSize),
              std::tuple(sjis("警報"), dir.file("none.wav"), 0, 1));
}

TEST_F(SettingsDialogTest, CancelAsksOnlyAfterAnEditEndedWithOk)
{
    testing::writeList(listPath, 50);
    for (const char *end : {"", "cancel", "ok"}) { // no edit, or one that changed nothing
        open();
        prompts.answers = {true};
        if (*end) {
            edit(0, end);
        }
        click(*dialog, "cancel");
        EXPECT_EQ(prompts.questions.size(), std::string(end) == "ok" ? 1 : 0) << end;
        EXPECT_FALSE(dialog->isVisible());
        prompts.questions.clear();
    }
}

TEST_F(SettingsDialogTest, PortTextMustBeAnInteger)
{
    const std::pair<QString, std::optional<std::int32_t>> cases[] = {
        {"\t+9913 ", 9913}, {"-5", -5}, {"99a", {}}, {"", {}}, {"4294967297", {}}};
    for (const auto &[text, port] : cases) {
        open();
        QLineEdit *field = child(*dialog, "port");
        field->setText(text);
        click(*dialog, "ok");
        EXPECT_EQ(dialog->port, port.value_or(9912)) << text.toStdString();
        EXPECT_EQ(prompts.texts(), port ? QStringList() : QStringList {"整数を入力してください。"});
        EXPECT_EQ(dialog->isVisible() && dialog->focusWidget() == field, !port);
        EXPECT_EQ(field->selectedText(), port ? "" : text);
    }
}

using ActionEditDialogTest = Bench;

TEST_F(ActionEditDialogTest, RefusesTextsBeyondTheirFieldsWithFocusOnTheField)
{
    const std::tuple<const char *, QString, QString> cases[] = {
        {"name", QString(31, u'あ') + u'a', {}}, // 63 bytes
        {"name", QString(32, u'あ'), "63 文字以内で入力してください。"},
        {"parameters", QString(128, u'パ'), "255 文字以内で入力してください。"},
        {"name", "한국", "シフトJIS(cp932)で表せない文字が含まれています。"}};
    for (const auto &[name, text, message] : cases) {
        prompts.messages.clear();
        ActionEditDialog edit(performer, prompts, nullptr);
        edit.show();
        QLineEdit *field = child(edit, name);
        field->setText(text);
        field->deselect();
        click(edit, "ok");
        EXPECT_EQ(prompts.texts(), message.isEmpty() ? QStringList() : QStringList {message}) << name;
        EXPECT_EQ(edit.isVisible() && edit.focusWidget() == field, !message.isEmpty());
        EXPECT_EQ(field->selectedText(), message.isEmpty() ? "" : text);
    }
}

TEST_F(ActionEditDialogTest, TypingStopsAtTheByteLimitButLongTextsCanBeShortened)
{
    ActionEditDialog edit(performer, prompts, nullptr);
    edit.name = std::string(70, 'x');
    edit.show();
    QLineEdit *name = child(edit, "name");
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(name->text(), QString(69, u'x')) << "a longer text given is shown whole and can shrink";
    name->clear();
    for (const QChar c : QString(40, u'あ') + QStringLiteral("ab")) { // typed as a keyboard would
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(name, &press);
    }
    EXPECT_EQ(name->text(), QString(31, u'あ') + u'a');
}

using Command = void (*)(QWidget *, UserPrompts &, const std::string &, const std::string &);

struct ActionListCommandsTest : Bench
{
    // Runs `command` with the user choosing `name` in the folder (cancelling when empty); what it said.
    std::string run(Command command, const std::string &name)
    {
        prompts.messages.clear();
        prompts.files = {name.empty() ? QString() : QString::fromStdString(dir.file(name))};
        command(nullptr, prompts, folder, listPath);
        return prompts.texts().join(u'|').toStdString();
    }
    const std::string folder = dir.path().string() + "/";
    const std::string list = (ActionListFile().CreateDefault(listPath, folder), readFile(listPath));
};

TEST_F(ActionListCommandsTest, TheListInUseIsNeverWrittenOverNorImportedByNameCaseOrLink)
{
    fs::create_symlink(listPath, dir.file("link"));
    const std::pair<Command, std::string> commands[] = {
        {ExportActionList, "使用中のBelvane動作登録ファイルにはエクスポートできません。"},
        {ImportActionList, "使用中のBelvane動作登録ファイルからのインポートは無意味です。"},
        {WriteActionListText, "使用中のBelvane動作登録ファイルには出力できません。"}};
    for (const auto &[command, refused] : commands) {
        for (const char *name : {"BELVANE.acd", "link", ""}) { // the last is a cancelled choice
            EXPECT_EQ(run(command, name), *name ? refused : "") << name;
            EXPECT_EQ(readFile(listPath), list) << name;
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2) << "only the list and the link";
}

TEST_F(ActionListCommandsTest, ExportAndImportCopyOnlyWholeListsOrSayWhyNot)
{
    EXPECT_EQ(run(ExportActionList, "c.acd"),
              "ファイルへのエクスポートが完了しました。\r\n" + dir.file("c.acd"));
    EXPECT_TRUE(prompts.fileRequests.back().confirmOverwrite);
    writeFile(dir.file("in.acd"), testing::listBytes(1, 50, testing::blanks(30)));
    EXPECT_EQ(run(ImportActionList, "in.acd"),
              "指定されたファイルは Belvane用動作登録ファイルではありません。");
    const std::string other = testing::listBytes(1, 50, std::string(50 * 896, '\x5A'));
    writeFile(dir.file("in.acd"), other);
    {
        const testing::FileHolder holder(listPath);
        EXPECT_EQ(run(ImportActionList, "in.acd"),
                  "ファイルからのインポートに失敗しました(Disk i/o Error)。");
    }
    EXPECT_EQ(readFile(listPath), list) << "neither a short list nor a list held elsewhere replaces it";
    EXPECT_EQ(run(ImportActionList, "in.acd"),
              "ファイルからのインポートが完了しました。\r\n" + dir.file("in.acd"));
    EXPECT_EQ(readFile(listPath), other);
    fs::remove(listPath);
    EXPECT_EQ(run(ExportActionList, "c.acd"), "エクスポートに失敗しました(Disk i/o Error)。");
    EXPECT_EQ(readFile(dir.file("c.acd")), list);
}

TEST_F(ActionListCommandsTest, TextListingOfTheInUseList)
{
    EXPECT_EQ(run(WriteActionListText, "l.txt"),
              "テキストファイルへの出力が完了しました。\r\n" + dir.file("l.txt"));
    const std::string normal = "\t\t\x92\xCA\x8F\xED\r\n"; // no parameters, "通常"
    EXPECT_EQ(readFile(dir.file("l.txt")),
              testing::listingHeading + "00\tMalarm.wav\t" + folder + "Malarm.wav" + normal
                  + "01\tSalarm.wav\t" + folder + "Salarm.wav" + normal);
    EXPECT_EQ(run(WriteActionListText, "no/such.txt"), "テキストファイルがクリエイトできません。");
    writeFile(listPath, "damaged");
    EXPECT_EQ(run(WriteActionListText, "l.txt"), "Belvane用動作登録ファイルがオープンできません。");
    EXPECT_EQ(readFile(dir.file("l.txt")), "");
}

TEST(DialogPartsTest, UnitsRoundAtTheCornersFiltersConvertAndSavingAsksBeforeOverwriting)
{
    const std::tuple<DialogBaseUnits, QRect, QRect> cases[] = {
        {{6, 12}, {172, 4, 50, 14}, {258, 6, 75, 21}},
        {{7, 13}, {1, 1, 1, 1}, {2, 2, 2, 1}}, // 1.75 -> 2, 3.5 -> 4 at the far corner
        {{6, 12}, {-2, -3, 4, 6}, {-3, -5, 6, 10}}}; // halves away from zero
    for (const auto &[base, units, pixels] : cases) {
        EXPECT_EQ(DialogUnitsToPixels(units, base), pixels) << units.x() << "," << units.y();
    }
    EXPECT_EQ(FileDialogFilters("音源(*.wav/*.mid)|*.wav; *.mid|実行(*.exe)|*.exe|全て(*.*)|*.*||"),
              QStringList({"音源(*.wav/*.mid) (*.wav *.mid)", "実行(*.exe) (*.exe)", "全て(*.*) (*.*)"}));
    EXPECT_EQ(FileDialogFilters(""), QStringList());
    EXPECT_EQ(MakeMessageBox(nullptr, "完了。\r\n/tmp/a", UserPrompts::Icon::Information)->text(),
              "完了。\n/tmp/a");
    const auto saving = MakeFileDialog(nullptr, {true, "/tmp", "全て(*.*)|*.*|", "txt", false, true});
    EXPECT_FALSE(saving->testOption(QFileDialog::DontConfirmOverwrite));
}

} // namespace
} // namespace belvane
