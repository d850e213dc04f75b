#include "AlarmWindow.h"
#include "ActionListFile.h"
#include "ActionPerformer.h"
#include "AlarmReceiver.h"
#include "CommandMenu.h"
#include "Cp932.h"
#include "FakeServices.h"
#include "ProgramRun.h"
#include "ScriptedPrompts.h"
#include "SettingsFile.h"
#include "TempDir.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace belvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

const QString notice = QStringLiteral("【継続使用されているユーザの方へのお知らせ】\n\n"
                                      "バージョンアップに伴い登録動作ファイルを初期状態に戻しました。\n"
                                      "環境設定画面より動作ファイルの確認/再登録願います。");

// One alarm window on a temporary program folder, over recording services and scripted prompts.
struct Fixture
{
    explicit Fixture(const TempDir &dir)
        : window(ProgramFolder::FromNative(dir.path().string()), performer, prompts)
    { }
    testing::RecordingServices services;
    ActionPerformer performer {services.wavePlayer, services.mediaCommands, services.launcher};
    testing::ScriptedPrompts prompts;
    AlarmWindow window;
};

void SendMouse(QWidget &widget, QEvent::Type type, QPoint local, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(local), QPointF(widget.mapToGlobal(local)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

TEST(AlarmWindowTest, FirstStartCreatesTheDefaultListAndTellsSoOnlyOnce)
{
    TempDir dir;
    writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(0).substr(1)); // 1035 bytes: ignored
    {
        Fixture f(dir);
        f.window.Initialise();
        EXPECT_EQ(f.window.messageBox->toPlainText(), notice);
        EXPECT_TRUE(f.window.senderLine->text().startsWith(QStringLiteral("コンピュータ名: [")));
        EXPECT_EQ(f.window.settings.windowX, 52);
        EXPECT_EQ(f.window.settings.port, 9912);
        EXPECT_EQ(readFile(dir.file("Belvane.acd")).size(), 44824u);
        EXPECT_EQ(readFile(dir.file("Belvane.cfg")).size(), 1035u) << "a start never writes the settings";
        f.window.DestroyWindow();
    }
    Fixture again(dir);
    again.window.Initialise();
    EXPECT_EQ(again.window.messageBox->toPlainText(), QString());
    ActionListFile list;
    ActionRecord level0;
    ASSERT_EQ(list.OpenOrCreate(0, dir.file("Belvane.acd")), 50);
    ASSERT_EQ(list.FetchRecord(0, level0), 896);
    EXPECT_EQ(fieldText(level0.actionFile), dir.path().string() + "/Malarm.wav");
    again.window.DestroyWindow();
}

TEST(AlarmWindowTest, ShapeGeometryAndColours)
{
    TempDir dir;
    writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(0, 300, 200));
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));

    EXPECT_EQ(f.window.geometry(), QRect(300, 200, 500, 155));
    EXPECT_EQ(f.window.mask(), AlarmWindow::WindowRegion());
    struct Point
    {
        int x, y;
        bool inside;
    };
    for (const Point &p :
         {Point {0, 0, false}, Point {499, 154, false}, Point {2, 2, false}, Point {10, 0, true},
          Point {0, 10, true}, Point {4, 4, true}, Point {250, 77, true}, Point {499, 77, true}}) {
        EXPECT_EQ(f.window.mask().contains(QPoint(p.x, p.y)), p.inside) << p.x << "," << p.y;
    }
    EXPECT_EQ(f.window.senderLine->geometry(), QRect(20, 20, 460, 20));
    EXPECT_EQ(f.window.messageBox->geometry(), QRect(20, 45, 460, 70));
    EXPECT_EQ(f.window.confirmButton->geometry(), QRect(200, 120, 100, 24));
    EXPECT_FALSE(f.window.dispatchButton->isVisible());
    EXPECT_TRUE(f.window.confirmButton->hasFocus());

    const QImage image = f.window.grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 77), QColor(130, 130, 155)) << "inner half of the outline";
    EXPECT_EQ(image.pixelColor(8, 77), QColor(240, 240, 255)) << "frame fill";
    EXPECT_EQ(image.pixelColor(250, 148), QColor(240, 240, 255));
    EXPECT_EQ(image.pixelColor(476, 30), QColor(255, 255, 200)) << "sender line";
    EXPECT_EQ(image.pixelColor(30, 100), QColor(255, 255, 255)) << "message box";
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, BoxesThroughAlarmConfirmAndShowAgain)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.Confirm();
    f.window.RunCommand(commandShow);
    EXPECT_TRUE(f.window.isVisible());
    // The notice counts as a message.
    EXPECT_EQ(f.window.senderLine->text(), QStringLiteral("すでに確認済みメッセージです"));

    struct Step
    {
        const char *alarm; // nullptr: confirm, then show
        QString sender;
        QString message;
        bool visible;
    };
    const Step steps[] = {
        {"#Sender=\x82\xa0PC\n#Message=<b>Tea</b>\n#Level=99\n", QStringLiteral("あPC"),
         QStringLiteral("<b>Tea</b>"), true},
        {nullptr, QStringLiteral("すでに確認済みメッセージです"), QStringLiteral("<b>Tea</b>"), true},
        {"#Sender=PC2\n#Message=\n#Level=1\n", QStringLiteral("PC2"), QString(), true},
        {nullptr, QStringLiteral("新しいメッセージは届いていません"), QString(), true},
    };
    for (const Step &step : steps) {
        if (step.alarm) {
            f.window.receivedText = step.alarm;
            f.window.dispatchButton->click();
            EXPECT_TRUE(f.window.receivedText.empty());
        } else {
            f.window.Confirm();
            EXPECT_FALSE(f.window.isVisible());
            f.window.RunCommand(commandShow);
        }
        EXPECT_EQ(f.window.isVisible(), step.visible);
        EXPECT_EQ(f.window.senderLine->text(), step.sender);
        EXPECT_EQ(f.window.messageBox->toPlainText(), step.message) << "shown as plain text";
    }
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, TheMessageBoxShowsAMessageCentredAndCutAtItsBound)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    std::string lines;
    for (int i = 0; i < 3000; ++i) {
        lines += "a\n";
    }
    std::string japanese;
    for (int i = 0; i < 65536; ++i) {
        japanese += "\x82\xa0";
    }
    const struct
    {
        std::string message;
        QString shown;
    } cases[] = {
        {"Tea", QStringLiteral("Tea")},
        {lines, QString::fromStdString(lines.substr(0, 4000)) + QStringLiteral("…")},
        {lines.substr(0, 3999), QString::fromStdString(lines.substr(0, 3999))}, // 2,000 lines
        {std::string(70000, 'x'), QString(65536, u'x') + QStringLiteral("…")},
        {japanese, QString(65536, u'あ')},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message.size());
        f.window.receivedText = "#Sender=PC\n#Message=" + c.message + "\n#Level=99\n";
        f.window.dispatchButton->click();
        EXPECT_EQ(f.window.messageText, c.message) << "kept whole";
        EXPECT_EQ(f.window.messageBox->toPlainText(), c.shown);
    }
    f.window.receivedText = "#Sender=PC\n#Message=Tea\r\nTime\n#Level=99\n";
    f.window.dispatchButton->click();
    QTextDocument &document = *f.window.messageBox->document();
    document.documentLayout()->documentSize(); // lays it out
    for (QTextBlock block = document.firstBlock(); block.isValid(); block = block.next()) {
        EXPECT_GT(block.layout()->lineAt(0).cursorToX(0), 150) << "centred: " << block.text().toStdString();
    }
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, DraggingSavesThePositionOnceAndOnlyWhenItChanged)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    const std::string cfg = dir.file("Belvane.cfg");

    SendMouse(f.window, QEvent::MouseButtonPress, {100, 140}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(f.window, QEvent::MouseButtonRelease, {100, 140}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(std::filesystem::exists(cfg)) << "a click without movement writes nothing";

    SendMouse(f.window, QEvent::MouseButtonPress, {100, 140}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(f.window, QEvent::MouseMove, {130, 150}, Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(std::filesystem::exists(cfg)) << "nothing is written before the release";
    // Slipping off the window: the move is not followed and the release there does not end the drag.
    SendMouse(f.window, QEvent::MouseMove, {900, 900}, Qt::NoButton, Qt::LeftButton);
    SendMouse(f.window, QEvent::MouseButtonRelease, {900, 900}, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(f.window.dragging);
    EXPECT_EQ(f.window.pos(), QPoint(82, 62));
    SendMouse(f.window, QEvent::MouseMove, {110, 145}, Qt::NoButton, Qt::NoButton);
    SendMouse(f.window, QEvent::MouseButtonRelease, {110, 145}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(f.window.dragging);
    ASSERT_EQ(f.window.pos(), QPoint(92, 67)) << "follows the pointer again once it is back";

    SettingsRecord saved;
    ASSERT_TRUE(LoadSettings(cfg, saved).ok);
    EXPECT_EQ(saved.windowX, 92);
    EXPECT_EQ(saved.windowY, 67);
    EXPECT_TRUE(f.prompts.messages.empty());
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, EveryWayOfEndingAsksToQuit)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    QSignalSpy quit(&f.window, &AlarmWindow::quitRequested);
    QTest::keyClick(&f.window, Qt::Key_Escape);
    EXPECT_EQ(quit.count(), 1);
    f.window.close();
    EXPECT_EQ(quit.count(), 2);
    EXPECT_TRUE(f.window.isVisible()) << "closing only asks; the run ends the window";
    QTest::keyClick(f.window.senderLine, Qt::Key_Return);
    EXPECT_EQ(quit.count(), 3);
    f.window.RunCommand(commandQuit);
    EXPECT_EQ(quit.count(), 4);
    f.window.confirmButton->setFocus();
    QTest::keyClick(f.window.confirmButton, Qt::Key_Return);
    EXPECT_EQ(quit.count(), 4) << "Enter on the button confirms";
    EXPECT_FALSE(f.window.isVisible());
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, AnOpenConnectionIsDispatchedAtTheEnd)
{
    TempDir dir;
    writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(0));
    Fixture f(dir);
    f.window.Initialise();
    {
        ActionListFile list;
        ASSERT_EQ(list.OpenOrCreate(0, dir.file("Belvane.acd")), 50);
        ActionRecord record;
        record.enabled = 1;
        setFieldText(record.actionFile, dir.file("Belvane.acd"));
        ASSERT_EQ(list.BeginWrite(), 50);
        ASSERT_EQ(list.WriteRecord(4, record), 896);
        list.Close();
    }
    f.window.Confirm();
    QTcpSocket sender;
    sender.connectToHost(QHostAddress::LocalHost, f.window.receiver->boundPort());
    ASSERT_TRUE(sender.waitForConnected(5000));
    sender.write("#Sender=late\n#Message=still open\n#Level=4\n");
    ASSERT_TRUE(sender.waitForBytesWritten(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.window.receiver->connectionOpen(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.window.receiver->receivedText().empty(); }, 5000));
    f.window.DestroyWindow();
    EXPECT_EQ(f.window.senderLine->text(), QStringLiteral("late"));
    ASSERT_EQ(f.services.journal.calls.size(), 1u);
    EXPECT_EQ(f.services.journal.calls[0], "open " + dir.file("Belvane.acd") + " [] 5");
}

} // namespace
} // namespace belvane
