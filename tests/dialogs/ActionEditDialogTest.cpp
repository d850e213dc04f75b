#include "ActionEditDialog.h"
#include "Cp932.h"
#include "DialogTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <regex>
#include <tuple>

#include <gtest/gtest.h>

namespace belvane {
namespace {

using testing::child;
using testing::click;

std::string sjis(const QString &text)
{
    return cp932::fromUnicode(text).value();
}

TEST(ActionEditDialogTest, OpensOnTheRowAndGivesBackWhatItWasGiven)
{
    struct Case
    {
        int level, markIndex, sizeIndex;
        QString mark, size;
    };
    for (const Case &c :
         {Case {7, 1, 1, "●", "最小化"}, Case {0, 0, 2, "…", "最大化"}, Case {4, -1, -1, "yes", "big"}}) {
        SCOPED_TRACE(c.level);
        testing::DialogBench bench;
        ActionEditDialog dialog(bench.performer, bench.prompts, nullptr);
        dialog.levelNo = c.level;
        dialog.enabledMark = sjis(c.mark);
        dialog.windowSizeText = sjis(c.size);
        dialog.name = sjis("名前");
        dialog.workFolder = "\xEE\xF9 not a round trip"; // decodes to U+FFE2, which encodes as 81 CA
        dialog.show();
        EXPECT_EQ(child<QLineEdit>(dialog, "levelNo")->text(), QString::number(c.level));
        EXPECT_EQ(child<QComboBox>(dialog, "enabledMark")->currentIndex(), c.markIndex);
        EXPECT_EQ(child<QComboBox>(dialog, "windowSize")->currentIndex(), c.sizeIndex);
        click(dialog, "ok");
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(std::tuple(dialog.enabledMark, dialog.windowSizeText, dialog.name, dialog.workFolder),
                  std::tuple(sjis(c.mark), sjis(c.size), sjis("名前"), "\xEE\xF9 not a round trip"));
    }
}

TEST(ActionEditDialogTest, RefusesTextsBeyondTheirFieldsWithFocusOnTheField)
{
    struct Case
    {
        const char *field;
        QString text;
        QString message; // empty when accepted
    };
    const QString tooLong63 = QStringLiteral("63 文字以内で入力してください。");
    const QString tooLong255 = QStringLiteral("255 文字以内で入力してください。");
    const std::vector<Case> cases = {
        {"name", QString(31, u'あ') + u'a', {}},
        {"name", QString(32, u'あ'), tooLong63},
        {"parameters", QString(128, u'パ'), tooLong255},
        {"name", QStringLiteral("한국"), QStringLiteral("シフトJIS(cp932)で表せない文字が含まれています。")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        testing::DialogBench bench;
        ActionEditDialog dialog(bench.performer, bench.prompts, nullptr);
        dialog.show();
        auto *edit = child<QLineEdit>(dialog, c.field);
        edit->setText(c.text);
        edit->deselect();
        click(dialog, "ok");
        if (c.message.isEmpty()) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            continue;
        }
        EXPECT_EQ(bench.prompts.texts(), QStringList {c.message});
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.focusWidget(), edit);
        EXPECT_EQ(edit->selectedText(), c.text);
    }
}

// Types `text` into `widget` one character at a time, as a keyboard with those characters would.
void type(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

TEST(ActionEditDialogTest, TypingStopsAtTheByteLimitButLongTextsCanBeShortened)
{
    testing::DialogBench bench;
    ActionEditDialog dialog(bench.performer, bench.prompts, nullptr);
    dialog.name = std::string(70, 'x');
    dialog.show();
    auto *name = child<QLineEdit>(dialog, "name");
    EXPECT_EQ(name->text().size(), 70) << "a longer text given at opening is shown whole";
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(name->text().size(), 69);
    name->clear();
    type(name, QString(40, u'あ'));
    EXPECT_EQ(name->text(), QString(31, u'あ'));
    type(name, QStringLiteral("ab"));
    EXPECT_EQ(name->text(), QString(31, u'あ') + u'a');
}

TEST(ActionEditDialogTest, BrowsersFillTheirFieldOnly)
{
    testing::DialogBench bench;
    ActionEditDialog dialog(bench.performer, bench.prompts, nullptr);
    dialog.show();
    child<QLineEdit>(dialog, "name")->setText(QStringLiteral("typed"));
    bench.prompts.files = {QStringLiteral("/snd/鐘.mid"), QString(), QStringLiteral("/docs/p.txt")};
    click(dialog, "browseFile");
    click(dialog, "browseFile"); // cancelled
    click(dialog, "browseParameter");
    EXPECT_EQ(child<QLineEdit>(dialog, "actionFile")->text(), QStringLiteral("/snd/鐘.mid"));
    EXPECT_EQ(child<QLineEdit>(dialog, "name")->text(), QStringLiteral("typed"));
    click(dialog, "ok");
    EXPECT_EQ(dialog.actionFile, sjis("/snd/鐘.mid"));
    EXPECT_EQ(dialog.parameters, "/docs/p.txt");
}

TEST(ActionEditDialogTest, TestPerformsTheShownValuesOrSaysWhyNot)
{
    struct Case
    {
        QString mark;
        const char *file; // in the temporary folder
        bool create;
        std::vector<std::string> calls; // with "@" for the folder
        QString message;
    };
    const std::vector<Case> cases = {
        {"●", "a.MiD", true, {"media open @a.MiD type sequencer alias .MID", "media play .MID"}, {}},
        {"●", "a.mp3", true, {"open @a.mp3 [-p] 6"}, {}},
        {"●", "none.wav", false, {}, QStringLiteral("ファイルが存在しません")},
        {"yes", "a.wav", true, {}, QStringLiteral("設定の有効(●)/無効(…)が「無効(…)」になっています")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        testing::DialogBench bench;
        const std::string folder = bench.dir.path().string() + "/";
        if (c.create) {
            testing::writeFile(folder + c.file, "x");
        }
        ActionEditDialog dialog(bench.performer, bench.prompts, nullptr);
        dialog.windowSizeText = sjis("最小化");
        dialog.show();
        child<QComboBox>(dialog, "enabledMark")->setEditText(c.mark);
        child<QLineEdit>(dialog, "actionFile")->setText(QString::fromStdString(folder + c.file));
        child<QLineEdit>(dialog, "parameters")->setText(QStringLiteral("-p"));
        click(dialog, "test");
        std::vector<std::string> expected = c.calls;
        for (std::string &call : expected) {
            call = std::regex_replace(call, std::regex("@"), folder);
        }
        EXPECT_EQ(bench.journal.calls, expected);
        EXPECT_EQ(bench.prompts.texts(), c.message.isEmpty() ? QStringList() : QStringList {c.message});
        EXPECT_EQ(dialog.result(), 0) << "Test keeps the dialog open";
    }
}

} // namespace
} // namespace belvane
