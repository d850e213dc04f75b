#include "DialogUnits.h"
#include "SystemPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

#include <gtest/gtest.h>

namespace belvane {
namespace {

TEST(DialogPartsTest, DialogUnitsScaleWithTheFontAndRoundAtTheCorners)
{
    struct Case
    {
        DialogBaseUnits base;
        QRect units;
        QRect pixels;
    };
    const std::vector<Case> cases = {
        {{6, 12}, {172, 4, 50, 14}, {258, 6, 75, 21}},
        {{7, 13}, {1, 1, 1, 1}, {2, 2, 2, 1}}, // 1.75 -> 2, 3.5 -> 4 at the far corner
        {{6, 12}, {-2, -3, 4, 6}, {-3, -5, 6, 10}}, // halves away from zero
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DialogUnitsToPixels(c.units, c.base), c.pixels) << c.units.x() << "," << c.units.y();
    }
}

TEST(DialogPartsTest, FilterPairsBecomeNameFilters)
{
    EXPECT_EQ(
        FileDialogFilters(
            "音源(*.wav/*.mid/*.mp3)|*.wav; *.mid; *.mp3|実行(*.exe/*.scr)|*.exe; *.scr|全て(*.*)|*.*||"),
        QStringList({"音源(*.wav/*.mid/*.mp3) (*.wav *.mid *.mp3)", "実行(*.exe/*.scr) (*.exe *.scr)",
                     "全て(*.*) (*.*)"}));
    EXPECT_EQ(FileDialogFilters(""), QStringList());
}

TEST(DialogPartsTest, SystemPromptsBuildTheirBoxesAndDialogs)
{
    using Icon = UserPrompts::Icon;
    for (const auto &[icon, shown] :
         {std::pair(Icon::Information, QMessageBox::Information),
          std::pair(Icon::Warning, QMessageBox::Warning), std::pair(Icon::Stop, QMessageBox::Critical)}) {
        const auto box = MakeMessageBox(nullptr, "完了しました。\r\n/tmp/a", icon);
        EXPECT_EQ(box->icon(), shown);
        EXPECT_EQ(box->text(), "完了しました。\n/tmp/a");
    }
    const auto saving = MakeFileDialog(nullptr, {true, "/tmp", "全て(*.*)|*.*|", "txt", false, true});
    EXPECT_EQ(saving->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(saving->testOption(QFileDialog::DontConfirmOverwrite));
}

} // namespace
} // namespace belvane
