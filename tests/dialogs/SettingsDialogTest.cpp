#include "SettingsDialog.h"
#include "ActionEditDialog.h"
#include "Cp932.h"
#include "DialogTestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace belvane {
namespace {

using testing::child;
using testing::click;

// The settings dialog over the bench's list, shown (and so initialised) with port 9912.
struct OpenSettings
{
    explicit OpenSettings(testing::DialogBench &bench)
        : dialog(bench.performer, bench.prompts, nullptr)
    {
        dialog.listPath = bench.listPath;
        dialog.port = 9912;
        dialog.show();
    }
    QTreeWidget *list() const { return child<QTreeWidget>(dialog, "actionList"); }
    QStringList row(int r) const
    {
        QStringList cells;
        for (int c = 0; c < 7; ++c) {
            cells.push_back(list()->topLevelItem(r)->text(c));
        }
        return cells;
    }
    void select(int r) const { list()->setCurrentItem(list()->topLevelItem(r)); }
    // Edits the selected row: `script` fills the edit dialog, which then ends with OK or Cancel.
    void edit(const std::function<void(ActionEditDialog &)> &script, bool ok = true)
    {
        dialog.runModal = [&](QDialog &shown) {
            shown.show();
            script(static_cast<ActionEditDialog &>(shown));
            click(shown, ok ? "ok" : "cancel");
            return shown.result();
        };
        click(dialog, "edit");
    }
    SettingsDialog dialog;
};

TEST(SettingsDialogTest, RowsShowTheRecordsAndOkWritesThemBackNormalised)
{
    testing::DialogBench bench;
    bench.writeList(50, [](int i, ActionRecord &record) {
        record.enabled = i == 1 ? 1 : i == 2 ? 2 : 0;
        record.windowSize = i == 1 ? 2 : i == 2 ? 7 : 0;
        record.reserved.fill('r');
        setFieldText(record.name, "n" + std::to_string(i));
        setFieldText(record.workFolder, "\xEE\xF9"); // a cp932 text that does not survive Unicode
    });
    OpenSettings open(bench);
    ASSERT_EQ(open.list()->topLevelItemCount(), 50);
    EXPECT_EQ(open.row(1), QStringList({"01", "●", "n1", "", "", "最大化", QStringLiteral("\uFFE2")}));
    EXPECT_EQ(open.row(2).mid(0, 6), QStringList({"02", "…", "n2", "", "", "通常"}));
    EXPECT_EQ(child<QLineEdit>(open.dialog, "port")->text(), "9912");
    click(open.dialog, "ok");
    EXPECT_EQ(open.dialog.result(), QDialog::Accepted);
    for (int i : {1, 2, 40}) {
        ActionRecord expected;
        expected.enabled = i == 1 ? 1 : 0;
        expected.windowSize = i == 1 ? 2 : 0;
        setFieldText(expected.name, "n" + std::to_string(i));
        setFieldText(expected.workFolder, "\xEE\xF9");
        EXPECT_EQ(bench.record(i), expected) << i;
    }
}

TEST(SettingsDialogTest, EditedRowsAreWrittenOnlyByOk)
{
    testing::DialogBench bench;
    bench.writeList(20);
    OpenSettings open(bench);
    open.select(3);
    open.edit([](ActionEditDialog &edit) {
        EXPECT_EQ(edit.levelNo, 3);
        child<QLineEdit>(edit, "name")->setText(QStringLiteral("警報"));
        child<QComboBox>(edit, "enabledMark")->setEditText(QStringLiteral("yes"));
        child<QComboBox>(edit, "windowSize")->setCurrentIndex(1);
    });
    EXPECT_EQ(open.row(3).mid(0, 6), QStringList({"03", "yes", "警報", "", "", "最小化"}));
    EXPECT_EQ(bench.record(3), ActionRecord {}) << "the file waits for OK";
    click(open.dialog, "test");
    EXPECT_EQ(bench.prompts.texts(), QStringList {"設定の有効(●)/無効(…)が「無効(…)」になっています"});
    click(open.dialog, "ok");
    EXPECT_EQ(fieldText(bench.record(3).name), cp932::fromUnicode(QStringLiteral("警報")));
    EXPECT_EQ(bench.record(3).enabled, 0);
    EXPECT_EQ(bench.record(3).windowSize, 1);
    EXPECT_EQ(OpenSettings(bench).row(3)[1], "…");
}

TEST(SettingsDialogTest, PortTextMustBeAnInteger)
{
    const std::vector<std::pair<QString, std::optional<std::int32_t>>> cases = {
        {"\t+9913 ", 9913}, {"-5", -5}, {"99a", {}}, {"", {}}, {"4294967297", {}},
    };
    for (const auto &[text, port] : cases) {
        SCOPED_TRACE(text.toStdString());
        testing::DialogBench bench;
        OpenSettings open(bench);
        auto *field = child<QLineEdit>(open.dialog, "port");
        field->setText(text);
        click(open.dialog, "ok");
        if (port) {
            EXPECT_EQ(open.dialog.result(), QDialog::Accepted);
            EXPECT_EQ(open.dialog.port, *port);
            continue;
        }
        EXPECT_EQ(bench.prompts.texts(), QStringList {"整数を入力してください。"});
        EXPECT_TRUE(open.dialog.isVisible());
        EXPECT_EQ(open.dialog.focusWidget(), field);
        EXPECT_EQ(field->selectedText(), text);
    }
}

TEST(SettingsDialogTest, CancelAsksOnlyAfterAnEditEndedWithOk)
{
    struct Case
    {
        const char *name;
        std::function<void(OpenSettings &)> before;
        bool asks;
    };
    const std::vector<Case> cases = {
        {"nothing", [](OpenSettings &) {}, false},
        {"edit cancelled", [](OpenSettings &o) { o.select(0), o.edit([](ActionEditDialog &) {}, false); },
         false},
        {"edit unchanged", [](OpenSettings &o) { o.select(0), o.edit([](ActionEditDialog &) {}); }, true},
    };
    for (const Case &c : cases) {
        for (bool answer : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (answer ? " ok" : " cancel"));
            testing::DialogBench bench;
            bench.writeList(50);
            OpenSettings open(bench);
            c.before(open);
            bench.prompts.answers = {answer};
            click(open.dialog, "cancel");
            EXPECT_EQ(bench.prompts.questions.size(), c.asks ? 1 : 0);
            EXPECT_EQ(open.dialog.isVisible(), c.asks && !answer);
            if (c.asks) {
                EXPECT_TRUE(bench.prompts.questions[0].startsWith("登録内容の変更がなされてますが"));
            }
        }
    }
}

TEST(SettingsDialogTest, ShowsOnlyTheRecordsTheFileHoldsAndOkWritesNoMore)
{
    const std::pair<std::string, int> cases[] = {
        {testing::listBytes(1, INT32_MAX, testing::blanks(3)), 3},
        {testing::listBytes(1, 50, testing::blanks(2) + std::string(100, '\0')), 3},
    };
    for (const auto &[bytes, rows] : cases) {
        SCOPED_TRACE(rows);
        testing::DialogBench bench;
        testing::writeFile(bench.listPath, bytes);
        OpenSettings open(bench);
        EXPECT_EQ(open.list()->topLevelItemCount(), rows);
        click(open.dialog, "ok");
        EXPECT_EQ(open.dialog.result(), QDialog::Accepted);
        EXPECT_EQ(testing::readFile(bench.listPath).size(), 24 + 896 * static_cast<std::size_t>(rows));
    }
}

TEST(SettingsDialogTest, EditAndTestNeedARowAndOkReportsAListItCannotWrite)
{
    testing::DialogBench bench;
    const std::string sound = bench.dir.file("Ring.Wav");
    testing::writeFile(sound, "x");
    bench.writeList(50, [&](int i, ActionRecord &record) {
        record.enabled = 1;
        record.windowSize = 2;
        setFieldText(record.actionFile, i == 0 ? sound : bench.dir.file("x.mp3"));
        setFieldText(record.parameters, "-q");
    });
    testing::writeFile(bench.dir.file("x.mp3"), "x");
    OpenSettings open(bench);
    click(open.dialog, "edit");
    click(open.dialog, "test");
    EXPECT_EQ(bench.prompts.texts(), QStringList(2, "項目が選択されていません"));
    open.select(0);
    click(open.dialog, "test");
    open.select(1);
    click(open.dialog, "test");
    EXPECT_EQ(
        bench.journal.calls,
        (std::vector<std::string> {"wave play " + sound, "open " + bench.dir.file("x.mp3") + " [-q] 3"}));
    click(open.dialog, "stop");
    EXPECT_EQ(bench.journal.calls.back(), "wave stop") << "a started program leaves the sound stoppable";
    {
        const testing::FileHolder holder(bench.listPath);
        click(open.dialog, "ok");
        EXPECT_EQ(bench.prompts.texts().back(), "動作ファイルリストを保存できませんでした。");
        EXPECT_TRUE(open.dialog.isVisible());
    }
    click(open.dialog, "ok");
    EXPECT_EQ(open.dialog.result(), QDialog::Accepted);
}

} // namespace
} // namespace belvane
