// Reception: the alarm text parser, the connection state machine, the receiver on real loopback
// sockets, and the real belvane-send delivering to it.
#include "AlarmReceiver.h"
#include "AlarmText.h"
#include "LoopbackClient.h"
#include "Wait.h"

#include <QProcess>
#include <QSysInfo>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <thread>

#include <sys/socket.h>

namespace belvane {
namespace {

using testing::LoopbackClient;
using Texts = std::vector<std::string>;

constexpr auto npos = std::string_view::npos;

// Each text is read as the receiver reads it, in the format it selects. Behind a "#lOGIC" field,
// `both` tells by its level which format was taken: 1 the marker format, 2 the line format.
TEST(AlarmTextTest, TheSelectedFormatCutsTheFieldsOutAndConvertsTheLevel)
{
    const std::string both = "#lEVEL=1$lEVEL#Level=2\n", logic = "#lOGIC=2$lOGIC";
    const std::pair<std::string, AlarmMessage> cases[] = {
        {"#Sender=PC1\n#Message=Lunch\n#Level=3\n", {"PC1", "Lunch", 3}},
        {"#Sender=PC1\n#Message=L\n#Level=3", {"PC1", "L", -1}}, // no final line feed, no level
        {"#Sender=PC1\r\n#Message=L\r\n#Level=3\r\n", {"PC1\r", "L\r", 3}}, // a CR stays in the value
        {"#Sender=P\n#Message=a\nb\n#Level\nc\n#Level=4\n", {"P", "a\nb\n#Level\nc", 4}},
        {"#Message=x\n#Level=\n#Sender=S\n#Message=M\n#Level=5\n", {"S", "x", -1}}, // the first wins
        {logic + "$sENDER#sENDER=A$sENDER", {"A", "", -1}}, // an earlier end marker is not used
        // in any order, between cp932 texts
        {"h\x82\xa0#mESSAGE=Lunch$mESSAGE\r\n\x93\x8c#lEVEL=5$lEVEL#lOGIC=2$lOGIC#sENDER=PC1$sENDER",
         {"PC1", "Lunch", 5}},
        // The format selection.
        {"#lOGIC=\t\r\n2$lOGIC" + both, {"", "", 1}},
        {"#lOGIC=4294967298$lOGIC" + both, {"", "", 2}}, // 2 after a 32-bit wrap
        {"\x81" + logic + both, {"", "", 2}},
        {"#lOGIC=2\x81$lOGIC$lOGIC" + both, {"", "", 1}},
        // The level's conversion.
        {"#Level=abc\n", {"", "", 0}},
        {"#Level=\v\f\r-9x\n", {"", "", -9}},
        {"#Level=- 1\n", {"", "", 0}},
        {"#Level=-2147483649\n", {"", "", INT32_MIN}},
        {"#Level=" + std::string(500, '9') + "\n", {"", "", INT32_MAX}},
    };
    for (const auto &[text, expected] : cases) {
        const AlarmMessage got = ParseAlarmText(text, SelectAlarmFormat(text));
        EXPECT_EQ(std::tie(got.sender, got.message, got.level),
                  std::tie(expected.sender, expected.message, expected.level))
            << ::testing::PrintToString(text);
    }
}

// The search against a plain forward walk is the fuzz target's; here, the cases that bite.
TEST(AlarmTextTest, SearchKeepsToCharacterBoundaries)
{
    const std::tuple<std::string, std::size_t, std::size_t> cases[] = {
        {"\x81#", 0, npos}, {"\x81\x81#", 0, 2}, {"\x81\x81\x81#", 0, npos}, {"\x82\xe0\x82#", 0, npos},
        {"\x80#", 0, 1},    {"\xfd#", 0, 1},     {"#ab\x81\x81#", 1, 5},     {"\x81##", 0, 2},
    };
    for (const auto &[text, from, expected] : cases) {
        EXPECT_EQ(FindAlarmMarker(text, "#", from), expected) << ::testing::PrintToString(text);
    }
}

class AlarmReceiverTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(receiver.StartListening(0), AlarmReceiver::ListenState::Listening); }
    bool dispatchedCount(std::size_t count)
    {
        return testing::WaitUntil([&] { return dispatched.size() == count; });
    }

    Texts dispatched;
    AlarmReceiver receiver {[this](std::string &text) {
        dispatched.push_back(text);
    }};
};

// Steps: "+" accepts, "." is the peer's close or reset, "F" Finish; anything else is data received,
// without its leading ">". Steps after a "|" are taken inside the first dispatch, as a nested event
// loop there would let the next sender in.
Texts run(const Texts &steps)
{
    Texts dispatched;
    const auto nested = std::find(steps.begin(), steps.end(), "|");
    const auto take = [](ConnectionState &self, auto step, auto end) {
        for (; step != end; ++step) {
            *step == "+"       ? self.Accept()
                : *step == "." ? self.Closed()
                : *step == "F" ? self.Finish()
                               : self.Receive(step->substr(1));
        }
    };
    ConnectionState state([&](std::string &text) {
        dispatched.push_back(text);
        if (dispatched.size() == 1 && nested != steps.end()) {
            take(state, nested + 1, steps.end());
        }
    });
    take(state, steps.begin(), nested);
    EXPECT_TRUE(state.receivedText().empty());
    return dispatched;
}

// A text in pieces and a newcomer that ends the open connection: the socket test below.
TEST(ConnectionStateTest, DispatchesEachConnectionsTextOnceWhenItEnds)
{
    const std::string chunkWithNul = ">" + std::string(10, 'a') + '\0' + std::string(1013, 'b');
    const std::pair<Texts, Texts> cases[] = {
        {{"+", "."}, {}},
        {{"+", std::string(">ab\0cd", 6), ">ef", "."}, {"abef"}}, // NUL drops the rest of its chunk only
        {{"+", std::string(">a\0b\0c", 6), "."}, {"a"}}, // from the first NUL on
        {{"+", chunkWithNul + "tail" + std::string("\0x", 2), "."}, {std::string(10, 'a') + "tail"}},
        {{">stray", ".", "+", ".", ">z"}, {}}, // nothing without a connection
        {{"+", ">late", "F", "+", ">no", "."}, {"late"}}, // Finish ends taking
        // A connection taken while the last text is being dispatched starts afresh.
        {{"+", ">outer", ".", "|", "+", ">inner", "."}, {"outer", "inner"}},
    };
    for (const auto &[steps, dispatched] : cases) {
        SCOPED_TRACE(::testing::PrintToString(steps));
        EXPECT_EQ(run(steps), dispatched);
    }
}

// However the connection ends, its text is dispatched once, then and not before, and nothing is sent
// back: by its close, a newcomer (one connection at a time), a reset (dispatched at once, not when the
// next sender comes) or Finish, which also stops listening. The next connection's text stands alone.
TEST_F(AlarmReceiverTest, EachConnectionsTextIsDispatchedOnceWhenItEndsAndNothingIsSentBack)
{
    for (const std::string how : {"close", "second connection", "reset", "Finish"}) {
        SCOPED_TRACE(how);
        dispatched.clear();
        const quint16 port = receiver.boundPort();
        LoopbackClient first(port);
        ASSERT_TRUE(testing::WaitUntil([&] { return receiver.connectionOpen(); })) << "accepted before data";
        std::string joined;
        for (const std::string piece : {"#Sender=desk\n", "#Message=tea\nis ready\n", "#Level=3\n"}) {
            ASSERT_TRUE(first.send(piece));
            joined += piece;
            ASSERT_TRUE(testing::WaitUntil([&] { return receiver.receivedText() == joined; }));
            EXPECT_TRUE(dispatched.empty());
        }
        std::optional<LoopbackClient> second;
        if (how == "close") {
            first.endWriting();
        } else if (how == "second connection") {
            second.emplace(port);
        } else if (how == "reset") {
            first.reset();
        } else {
            receiver.Finish();
        }
        ASSERT_TRUE(dispatchedCount(1));
        EXPECT_EQ(dispatched, Texts {joined});
        EXPECT_EQ(receiver.connectionOpen(), second.has_value());
        EXPECT_EQ(how == "reset" ? "" : first.bytesUntilClosed(), "");
        if (how == "Finish") {
            EXPECT_FALSE(LoopbackClient(port).connected);
            break;
        }
        if (!second) {
            second.emplace(port);
        }
        ASSERT_TRUE(second->send("two"));
        second->endWriting();
        ASSERT_TRUE(dispatchedCount(2));
        EXPECT_EQ(dispatched[1], "two");
    }
}

TEST_F(AlarmReceiverTest, EndlessSenderIsReadToItsEndButOnlyOneMebibyteKept)
{
    bool sentAll = false;
    std::thread sender([&, port = receiver.boundPort()] {
        LoopbackClient client(port);
        sentAll = client.send(std::string(8 << 20, 'm'));
        client.endWriting();
        sentAll = sentAll && client.bytesUntilClosed().empty();
    });
    const bool done = dispatchedCount(1);
    sender.join();
    ASSERT_TRUE(done);
    EXPECT_TRUE(sentAll);
    EXPECT_EQ(dispatched[0], std::string(1 << 20, 'm'));
}

// A port taken by another program: the window's and the program fault tests.
TEST(AlarmReceiverStartTest, PortsOutsideTheTcpRangeGiveASilentStart)
{
    for (const std::int32_t port : {-1, 65536, 9912 + 65536}) {
        AlarmReceiver receiver([](std::string &) { ADD_FAILURE() << "nothing can arrive"; });
        EXPECT_EQ(receiver.StartListening(port), AlarmReceiver::ListenState::PortUnavailable) << port;
        EXPECT_EQ(receiver.boundPort(), 0);
    }
}

// Runs the real belvane-send on the event loop, so a receiver in this process can take the alarm: its
// exit code and what it wrote, standard output and error together.
std::pair<int, std::string> runSend(const QStringList &arguments, const std::string &input)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(BELVANE_SEND_PATH), arguments);
    EXPECT_TRUE(process.waitForStarted());
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    EXPECT_TRUE(testing::WaitUntil([&] { return process.state() == QProcess::NotRunning; }));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAll().toStdString()};
}

TEST_F(AlarmReceiverTest, BelvaneSendSendsExactlyTheAlarmBytesOrSaysWhyNotInOneLine)
{
    QTcpServer closed, resetting;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0) && resetting.listen(QHostAddress::LocalHost, 0));
    const QString closedPort = QString::number(closed.serverPort());
    closed.close();
    // This receiver resets every connection instead of closing it once the alarm is in.
    QObject::connect(&resetting, &QTcpServer::newConnection, [&]() {
        const linger hard {1, 0};
        ::setsockopt(static_cast<int>(resetting.nextPendingConnection()->socketDescriptor()), SOL_SOCKET,
                     SO_LINGER, &hard, sizeof hard);
    });
    const std::string host = QSysInfo::machineHostName().toStdString();
    // Arguments (a receiver's port is added unless they name one), standard input, exit code, and the
    // bytes received when sent (exactly, and nothing written), else a part of what was written.
    const std::tuple<QStringList, std::string, int, std::string> cases[] = {
        {{"--sender", "送信", "--message", "～表", "--level", "3"},
         "",
         0,
         "#Sender=\x91\x97\x90\x4D\n#Message=\x81\x60\x95\x5C\n#Level=3\n"},
        {{"--marker", "--sender", "PC1", "--message", "Lunch", "--level", "-5"},
         "",
         0,
         "#lOGIC=2$lOGIC#sENDER=PC1$sENDER#mESSAGE=Lunch$mESSAGE#lEVEL=-5$lEVEL"},
        // The message from standard input, the host's name as the sender.
        {{"--level", "1"}, "two\nlines\n", 0, "#Sender=" + host + "\n#Message=two\nlines\n#Level=1\n"},
        // Refused before connecting.
        {{"--message", "😀"}, "", 2, "U+1F600"},
        {{"--message", "a\n#Level=9"}, "", 2, "marker"},
        {{"--message", "m", "--level", "high"}, "", 2, "--level"},
        {{}, "\xff\xfe", 2, "UTF-8"},
        // Not delivered.
        {{"--message", "m", "--port", closedPort}, "", 1, "belvane-send: "},
        {{"--message", "m", "--port", QString::number(resetting.serverPort())}, "", 1, "belvane-send: "},
        {{"--help"}, "", 0, "--marker"},
    };
    for (const auto &[arguments, input, exitCode, expected] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        dispatched.clear();
        const QString port = QString::number(receiver.boundPort());
        const auto [code, written] = runSend(
            arguments.contains("--port") ? arguments : QStringList(arguments) << "--port" << port, input);
        EXPECT_EQ(code, exitCode);
        const bool sent = exitCode == 0 && !arguments.contains("--help");
        EXPECT_EQ(dispatched, sent ? Texts {expected} : Texts {});
        EXPECT_FALSE(receiver.connectionOpen());
        EXPECT_TRUE(sent ? written.empty() : written.find(expected) != std::string::npos) << written;
        EXPECT_TRUE(exitCode == 0 || written.find('\n') == written.size() - 1) << "one line: " << written;
    }
}

} // namespace
} // namespace belvane
