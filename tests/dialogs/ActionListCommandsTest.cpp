#include "ActionListCommands.h"
#include "DialogTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace belvane {
namespace {

namespace fs = std::filesystem;
using Icon = UserPrompts::Icon;

// Runs `command` with the user choosing `chosen`; returns the one message it showed.
testing::ScriptedPrompts::Shown run(testing::DialogBench &bench,
                                    void (*command)(QWidget *, UserPrompts &, const std::string &,
                                                    const std::string &),
                                    const std::string &chosen)
{
    bench.prompts.messages.clear();
    bench.prompts.files = {QString::fromStdString(chosen)};
    command(nullptr, bench.prompts, bench.dir.path().string() + "/", bench.listPath);
    EXPECT_EQ(bench.prompts.messages.size(), 1u);
    return bench.prompts.messages.empty() ? testing::ScriptedPrompts::Shown {}
                                          : bench.prompts.messages.back();
}

TEST(ActionListCommandsTest, ExportCopiesTheListButNeverOntoItself)
{
    testing::DialogBench bench;
    bench.writeList(50, [](int i, ActionRecord &record) { record.enabled = i % 2; });
    const std::string list = testing::readFile(bench.listPath);
    fs::create_symlink(bench.listPath, bench.dir.file("link.acd"));
    const std::string top = bench.dir.path().string();
    const QString refused = QStringLiteral("使用中のBelvane動作登録ファイルにはエクスポートできません。");
    for (const std::string &chosen : {top + "/belvane.ACD", top + "/link.acd"}) {
        const auto shown = run(bench, ExportActionList, chosen);
        EXPECT_EQ(shown.text, refused) << chosen;
        EXPECT_EQ(shown.icon, Icon::Warning);
    }
    EXPECT_EQ(testing::readFile(bench.listPath), list);
    const auto done = run(bench, ExportActionList, top + "/copy.acd");
    EXPECT_EQ(done.text,
              QString::fromStdString("ファイルへのエクスポートが完了しました。\r\n" + top + "/copy.acd"));
    EXPECT_EQ(done.icon, Icon::Information);
    EXPECT_EQ(testing::readFile(top + "/copy.acd"), list);
    EXPECT_TRUE(bench.prompts.fileRequests.back().confirmOverwrite);
    fs::remove(bench.listPath);
    EXPECT_EQ(run(bench, ExportActionList, top + "/copy.acd").text,
              "エクスポートに失敗しました(Disk i/o Error)。");
    EXPECT_EQ(testing::readFile(top + "/copy.acd"), list);
}

TEST(ActionListCommandsTest, ImportTakesOnlyWholeFiftyRecordLists)
{
    testing::DialogBench bench;
    bench.writeList(50);
    const std::string list = testing::readFile(bench.listPath);
    const std::string source = bench.dir.file("in.acd");
    testing::writeFile(source, testing::listBytes(1, 50, testing::blanks(30)));
    EXPECT_EQ(run(bench, ImportActionList, source).text,
              "指定されたファイルは Belvane用動作登録ファイルではありません。");
    EXPECT_EQ(testing::readFile(bench.listPath), list);
    EXPECT_EQ(run(bench, ImportActionList, bench.dir.file("BELVANE.ACD")).text,
              "使用中のBelvane動作登録ファイルからのインポートは無意味です。");
    const std::string garbage = testing::listBytes(1, 50, std::string(50 * 896, '\x5A'));
    testing::writeFile(source, garbage);
    {
        const testing::FileHolder holder(bench.listPath);
        EXPECT_EQ(run(bench, ImportActionList, source).text,
                  "ファイルからのインポートに失敗しました(Disk i/o Error)。");
    }
    EXPECT_EQ(testing::readFile(bench.listPath), list) << "a list held elsewhere is not replaced";
    const auto done = run(bench, ImportActionList, source);
    EXPECT_EQ(done.text, QString::fromStdString("ファイルからのインポートが完了しました。\r\n" + source));
    EXPECT_EQ(done.icon, Icon::Information);
    EXPECT_EQ(testing::readFile(bench.listPath), garbage);
}

TEST(ActionListCommandsTest, TextListingOfTheInUseList)
{
    testing::DialogBench bench;
    const std::string folder = bench.dir.path().string() + "/";
    ActionListFile().CreateDefault(bench.listPath, folder);
    const std::string text = bench.dir.file("list.txt");
    const auto done = run(bench, WriteActionListText, text);
    EXPECT_EQ(done.text, QString::fromStdString("テキストファイルへの出力が完了しました。\r\n" + text));
    EXPECT_EQ(testing::readFile(text),
              testing::listingHeading + "00\tMalarm.wav\t" + folder
                  + "Malarm.wav\t\t\x92\xCA\x8F\xED\r\n01\tSalarm.wav\t" + folder
                  + "Salarm.wav\t\t\x92\xCA\x8F\xED\r\n");
    const std::string list = testing::readFile(bench.listPath);
    fs::create_symlink(bench.listPath, bench.dir.file("link.txt"));
    EXPECT_EQ(run(bench, WriteActionListText, bench.dir.file("link.txt")).text,
              "使用中のBelvane動作登録ファイルには出力できません。");
    EXPECT_EQ(testing::readFile(bench.listPath), list) << "a link to the list must not be overwritten";
    EXPECT_EQ(run(bench, WriteActionListText, bench.dir.file("no/such.txt")).text,
              "テキストファイルがクリエイトできません。");
    testing::writeFile(bench.listPath, "damaged");
    EXPECT_EQ(run(bench, WriteActionListText, text).text, "Belvane用動作登録ファイルがオープンできません。");
    EXPECT_EQ(testing::readFile(text), "");
}

TEST(ActionListCommandsTest, CancelledDialogsEndTheCommandsSilently)
{
    testing::DialogBench bench;
    bench.writeList(50);
    for (auto command : {ExportActionList, ImportActionList, WriteActionListText}) {
        command(nullptr, bench.prompts, bench.dir.path().string() + "/", bench.listPath);
    }
    EXPECT_EQ(bench.prompts.fileRequests.size(), 3u);
    EXPECT_TRUE(bench.prompts.messages.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(bench.dir.path()), {}), 1);
}

} // namespace
} // namespace belvane
