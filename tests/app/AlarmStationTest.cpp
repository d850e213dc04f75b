// The receiving station on real loopback sockets, warm: it has handled alarms before each test begins,
// as every receiver in the field has.
#include "AlarmStation.h"
#include "LoopbackClient.h"
#include "ProgramRun.h"
#include "StorageTestSupport.h"
#include "Wait.h"
#include "WindowFixture.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include <sys/resource.h>

namespace belvane {
namespace {

using namespace testing;

// Level 1 starts a program.
class AlarmStationTest : public ::testing::Test, public PerformerBench
{
protected:
    void SetUp() override
    {
        writeFile(program, "");
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        writeActions(dir.file("Belvane.acd"), 9, {{1, {1, program}}});
        QObject::connect(&station, &AlarmStation::alarmDispatched,
                         [this](const HistoryEntry &entry) { dispatched.push_back(entry); });
        ASSERT_TRUE(station.startListening(port).isEmpty());
        for (int i = 0; i < 3; ++i) {
            send(alarmText("warm"));
        }
        ASSERT_TRUE(waitForCount(dispatched, 3));
    }
    void TearDown() override { station.finish(); }

    void send(const std::string &text, in_addr_t to = INADDR_LOOPBACK) const
    {
        const LoopbackClient client(port, 30, to);
        EXPECT_TRUE(client.send(text));
    }

    TempDir dir;
    std::string program = dir.file("prog");
    quint16 port = freePort();
    AlarmStation station {performer, dir.file("Belvane.acd")};
    std::vector<HistoryEntry> dispatched;
};

// Out of descriptors, one accept attempt takes every waiting sender off the queue: those still sending
// are closed at once, one that had closed keeps its alarm, and one log line says so. Until descriptors
// are back (the action list needs one) the alarm waits. Nothing is tried again while no sender waits.
TEST_F(AlarmStationTest, OutOfDescriptorsWaitingSendersAreToldAndOneThatClosedKeepsItsAlarm)
{
    // Every descriptor below the limit taken but the senders' own three sockets: the gaps that closed
    // connections left are filled while the limit is tight.
    int highest = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        highest = std::max(highest, std::stoi(entry.path().filename().string()));
    }
    std::vector<int> fillers;
    while (fillers.empty() || fillers.back() < highest) {
        fillers.push_back(::dup(0));
    }
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit tight {static_cast<rlim_t>(fillers.back()) + 4, saved.rlim_max};
    const QStringList logged = loggedLines([&] {
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        const LoopbackClient closed(port, 5), writing(port, 5), silent(port, 5);
        ASSERT_TRUE(closed.send(alarmText("kept")) && writing.send("#Sender=half"));
        closed.endWriting();
        for (const LoopbackClient *client : {&writing, &silent}) {
            EXPECT_TRUE(waitUntil([&] { return client->closedByPeer(); }));
        }
        // Two more rounds of the pause, in which nothing waits.
        waitUntil([] { return false; }, AlarmReceiver::acceptRetry * 2);
        EXPECT_EQ(dispatched.size(), 3U) << "not while the action list cannot be opened";
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
        ASSERT_TRUE(waitForCount(dispatched, 4));
    });
    ::setrlimit(RLIMIT_NOFILE, &saved);
    for (const int fd : fillers) {
        ::close(fd);
    }
    ASSERT_EQ(logged.size(), 2) << logged.join(u'\n').toStdString();
    EXPECT_TRUE(logged[0].contains(QRegularExpression(QStringLiteral("送信元 2 件.* 1 件"))))
        << logged[0].toStdString();
    EXPECT_EQ(dispatched.back().sender, QStringLiteral("kept"));
    EXPECT_EQ(dispatched.back().outcome, "プログラムを起動しました: " + QString::fromStdString(program));
    send(alarmText("after"));
    ASSERT_TRUE(waitForCount(dispatched, 5));
    EXPECT_EQ(dispatched.back().sender, QStringLiteral("after"));
}

// Every local IPv4 address is listened on; a sender of a megabyte is shown, kept and logged in 256
// characters and "…". The program ends while a sender floods: the ending does not wait for it, and what
// it sent so far is dispatched before the closing line.
TEST_F(AlarmStationTest, AMegabyteSenderIsBoundedEverywhereAndAFloodingOneDoesNotHoldUpTheEnd)
{
    const QStringList logged = loggedLines([&] {
        send(alarmText(std::string((1 << 20) - 64, '\x01')), INADDR_LOOPBACK + 1);
        ASSERT_TRUE(waitForCount(dispatched, 4));
    });
    const QString shown = QString(256, u'\x01') + QStringLiteral("…");
    EXPECT_EQ(dispatched.back().sender, shown);
    EXPECT_EQ(station.history().entry(0).sender, shown);
    ASSERT_EQ(logged.size(), 1);
    EXPECT_LT(logged[0].size(), 2000);
    EXPECT_TRUE(logged[0].contains(QStringLiteral("\\u0001…\" レベル 1")))
        << logged[0].left(100).toStdString();

    std::atomic<std::size_t> sent = 0;
    std::thread flood([this, &sent] {
        const LoopbackClient client(port);
        std::string block = "#Sender=flood\n#Message=";
        block.resize(64 * 1024, 'x');
        while (client.send(block)) {
            sent += block.size();
        }
    });
    // More than the system buffers between us: the station is reading it.
    const bool reading = waitUntil([&] { return sent > (32U << 20); });
    const QStringList ending = loggedLines([&] { station.finish(); });
    flood.join();
    ASSERT_TRUE(reading);
    EXPECT_EQ(std::pair(dispatched.size(), dispatched.back().sender),
              std::pair(std::size_t {5}, QStringLiteral("flood")));
    ASSERT_EQ(ending.size(), 2);
    EXPECT_EQ(ending[1], QStringLiteral("終了します"));
}

} // namespace
} // namespace belvane
