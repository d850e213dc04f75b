// Reception: the receiver on real loopback sockets, and the real belvane-send delivering to it. The
// alarm text parser is held against a model of its own by the fuzz target fuzz_alarm_text, whose corpus
// (the cases that bite: each lead-byte bound, the format selection, the level's conversion) ctest replays.
#include "AlarmReceiver.h"
#include "LoopbackClient.h"
#include "Wait.h"

#include <QProcess>
#include <QSysInfo>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <list>
#include <map>
#include <set>

#include <sys/socket.h>

namespace belvane {
namespace {

using namespace testing;
using Texts = std::vector<std::string>;

// The connection table on its own (the NUL rule, the kept bound, room-making, silence, events inside a
// dispatch) is held against a model by the fuzz target fuzz_connection_state, which scripts/test.sh
// runs; here it is driven through real sockets.
// Silent connections are finished after `quietMs`: the receiver's own limit, or for QuietReceiverTest two
// seconds, long after a seventeenth sender is taken.
template<std::int64_t quietMs>
struct ReceiverTest : ::testing::Test
{
    ReceiverTest()
        : receiver(
            [this](std::string &text, const std::string &peer) {
                EXPECT_EQ(peer, "127.0.0.1");
                dispatched.push_back(text);
            },
            std::chrono::milliseconds(quietMs))
    { }
    void SetUp() override { ASSERT_EQ(receiver.startListening(0), AlarmReceiver::ListenState::Listening); }
    static std::string alarm(const std::string &who) { return "#Sender=" + who + "\n#Message=m\n#Level=3\n"; }

    Texts dispatched;
    AlarmReceiver receiver;
};
using AlarmReceiverTest = ReceiverTest<AlarmReceiver::defaultQuietLimit.count()>;
using QuietReceiverTest = ReceiverTest<2000>;

// Senders that overlap, write slowly or stall: each connection's text is dispatched whole, once, at its
// own sender's close, in the order of the closes, and nothing is ever sent back. Steps: the client,
// then "c" connects it (and waits until the receiver has taken it), "s" sends `bytes` (and waits until
// the receiver has them), "e" closes its writing side, "r" resets, "d" waits until `client` texts are
// dispatched, "F" is the receiver's Finish, "n" sends `bytes` and closes (connecting first when new),
// all before the receiver's next round of the event loop.
TEST_F(AlarmReceiverTest, EachSendersTextIsDispatchedWholeAtItsOwnCloseWhateverTheOthersDo)
{
    // Fifty senders at the same moment while the receiver is busy (its event loop does not run while they
    // connect): every one of them gets its connection at once from the system's queue (a sender left
    // waiting gives up after five seconds), and every alarm arrives once the receiver is free again.
    std::list<LoopbackClient> senders;
    std::multiset<std::string> sent;
    for (int i = 0; i < 50; ++i) {
        const std::string text = alarm("PC" + std::to_string(i));
        ASSERT_TRUE(senders.emplace_back(receiver.boundPort(), 5).connected && senders.back().send(text))
            << i;
        sent.insert(text);
    }
    senders.clear();
    ASSERT_TRUE(waitForCount(dispatched, sent.size()));
    EXPECT_EQ(std::multiset<std::string>(dispatched.begin(), dispatched.end()), sent);

    struct Step
    {
        int client;
        char what;
        std::string bytes {};
    };
    const std::string half = "#Sender=A\n#Mes", rest = "sage=m\n#Level=3\n";
    const std::tuple<const char *, std::vector<Step>, Texts> cases[] = {
        {"connected, then written after another delivered",
         {{0, 'c'}, {1, 'c'}, {1, 's', alarm("1")}, {1, 'e'}, {1, 'd'}, {0, 's', alarm("A")}, {0, 'e'}},
         {alarm("1"), alarm("A")}},
        {"a reset ends its own connection only",
         {{0, 'c'}, {0, 's', half}, {1, 'c'}, {1, 's', half}, {0, 'r'}, {1, 'd'}, {1, 's', rest}, {1, 'e'}},
         {half, half + rest}},
        {"a pending close and a newcomer in the same round",
         {{0, 'c'}, {0, 's', half}, {0, 'n', rest}, {1, 'n', alarm("B")}},
         {half + rest, alarm("B")}},
        {"the program ends with senders connected",
         {{0, 'c'}, {0, 's', alarm("A")}, {1, 'c'}, {2, 'c'}, {2, 's', half}, {0, 'F'}},
         {alarm("A"), half}},
    };
    const quint16 port = receiver.boundPort();
    for (const auto &[shape, steps, expected] : cases) {
        SCOPED_TRACE(shape);
        dispatched.clear();
        std::map<int, LoopbackClient> clients;
        std::map<int, ConnectionState::Id> ids;
        for (const Step &step : steps) {
            const ConnectionState &connections = receiver.connections();
            if (step.what == 'c') {
                // Taken before its first byte.
                const ConnectionState::Id id = ids[step.client] = connections.lastAccepted() + 1;
                clients.try_emplace(step.client, port);
                ASSERT_TRUE(waitUntil([&] { return connections.lastAccepted() == id; }));
            } else if (step.what == 's') {
                const std::string before(connections.receivedText(ids[step.client]));
                ASSERT_TRUE(clients.at(step.client).send(step.bytes));
                ASSERT_TRUE(waitUntil(
                    [&] { return connections.receivedText(ids[step.client]) == before + step.bytes; }));
            } else if (step.what == 'n') {
                ASSERT_TRUE(clients.try_emplace(step.client, port).first->second.send(step.bytes));
                clients.at(step.client).endWriting();
            } else if (step.what == 'e') {
                clients.at(step.client).endWriting();
            } else if (step.what == 'r') {
                clients.at(step.client).reset();
            } else if (step.what == 'd') {
                ASSERT_TRUE(waitForCount(dispatched, static_cast<std::size_t>(step.client)));
            } else {
                receiver.finish();
            }
        }
        ASSERT_TRUE(waitForCount(dispatched, expected.size()));
        EXPECT_EQ(dispatched, expected);
        EXPECT_EQ(receiver.connections().openCount(), 0U);
        for (auto &[index, client] : clients) {
            EXPECT_EQ(client.fd < 0 ? "" : client.bytesUntilClosed(), "") << "client " << index;
        }
    }
    EXPECT_FALSE(LoopbackClient(port).connected) << "no longer listening after Finish";
}

// Sixteen senders hold every place: a seventeenth makes room by finishing the one silent the longest,
// as if it had closed. A sender that stalls is finished after the quiet time, with what it wrote.
TEST_F(QuietReceiverTest, ASeventeenthSenderOrASilentOneFinishesTheQuietestConnection)
{
    std::list<LoopbackClient> clients;
    for (std::size_t i = 0; i < 16; ++i) {
        ASSERT_TRUE(clients.emplace_back(receiver.boundPort()).send("n" + std::to_string(i)));
        ASSERT_TRUE(waitUntil([&] { return receiver.connections().receivedText(i + 1).size() > 1; }));
    }
    // Room is made as the newcomer is taken, before any sender was silent for the quiet time.
    LoopbackClient late(receiver.boundPort());
    ASSERT_TRUE(waitUntil([&] { return receiver.connections().lastAccepted() == 17; }));
    EXPECT_EQ(receiver.connections().openCount(), 16U);
    ASSERT_TRUE(waitForCount(dispatched, 1));
    EXPECT_EQ(dispatched, Texts {"n0"});
    EXPECT_EQ(clients.front().bytesUntilClosed(), "");
    // The rest stall: each is finished with what it wrote, the newcomer too.
    ASSERT_TRUE(late.send("late"));
    ASSERT_TRUE(waitForCount(dispatched, 17));
    EXPECT_EQ(dispatched.back(), "late");
    EXPECT_EQ(late.bytesUntilClosed(), "");
    EXPECT_EQ(receiver.connections().openCount(), 0U);
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
    EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAll().toStdString()};
}

TEST_F(AlarmReceiverTest, BelvaneSendSendsExactlyTheAlarmBytesOrSaysWhyNotInOneLine)
{
    QTcpServer closed, resetting;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0) && resetting.listen(QHostAddress::LocalHost, 0));
    const QString closedPort = QString::number(closed.serverPort()),
                  resetPort = QString::number(resetting.serverPort());
    closed.close();
    // This receiver resets every connection instead of closing it once the alarm is in.
    QObject::connect(&resetting, &QTcpServer::newConnection, [&]() {
        const linger hard {1, 0};
        ::setsockopt(static_cast<int>(resetting.nextPendingConnection()->socketDescriptor()), SOL_SOCKET,
                     SO_LINGER, &hard, sizeof hard);
    });
    const std::string host = QSysInfo::machineHostName().toStdString();
    // Arguments, split at spaces (a receiver's port is added unless they name one), exit code, and the
    // bytes received when sent (exactly, and nothing written), else a part of what was written: for a
    // sender not delivered, why; then standard input.
    const std::tuple<QString, int, std::string, std::string> cases[] = {
        {"--sender 送信 --message ～表 --level 3", 0,
         "#Sender=\x91\x97\x90\x4D\n#Message=\x81\x60\x95\x5C\n#Level=3\n", ""},
        {"--marker --sender PC1 --message Lunch --level -5", 0,
         "#lOGIC=2$lOGIC#sENDER=PC1$sENDER#mESSAGE=Lunch$mESSAGE#lEVEL=-5$lEVEL", ""},
        // The message from standard input, the host's name as the sender.
        {"--level 1", 0, "#Sender=" + host + "\n#Message=two\nlines\n#Level=1\n", "two\nlines\n"},
        // Refused before connecting.
        {"--message 😀", 2, "U+1F600", ""},
        {"--message a\n#Level=9", 2, "marker", ""},
        {"--message m --level high", 2, "--level", ""},
        {"", 2, "UTF-8", "\xff\xfe"},
        // Not delivered.
        {"--message m --port " + closedPort, 1,
         "cannot connect to 127.0.0.1 port " + closedPort.toStdString(), ""},
        {"--message m --port " + resetPort, 1,
         "the connection to 127.0.0.1 port " + resetPort.toStdString() + " failed", ""},
        {"--help", 0, "--marker", ""},
    };
    for (const auto &[line, exitCode, expected, input] : cases) {
        SCOPED_TRACE(line.toStdString());
        dispatched.clear();
        const QString port =
            line.contains("--port") ? "" : " --port " + QString::number(receiver.boundPort());
        const auto [code, written] = runSend((line + port).split(u' ', Qt::SkipEmptyParts), input);
        EXPECT_EQ(code, exitCode);
        const bool sent = exitCode == 0 && line != "--help";
        EXPECT_EQ(dispatched, sent ? Texts {expected} : Texts {});
        EXPECT_EQ(receiver.connections().openCount(), 0U);
        EXPECT_TRUE(sent ? written.empty() : written.find(expected) != std::string::npos) << written;
        EXPECT_TRUE(exitCode == 0 || written.find('\n') == written.size() - 1) << "one line: " << written;
    }
}

} // namespace
} // namespace belvane
