#include "AlarmReceiver.h"
#include "Wait.h"

#include <QProcess>
#include <QSysInfo>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <string>
#include <vector>

namespace belvane {
namespace {

struct SendResult
{
    int exitCode = -1;
    std::string out, err;
};

// Runs the real belvane-send on the event loop, so a receiver in this process can take the alarm.
SendResult runSend(const QStringList &arguments, const std::string &input = {})
{
    QProcess process;
    process.start(QStringLiteral(BELVANE_SEND_PATH), arguments);
    EXPECT_TRUE(process.waitForStarted());
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    EXPECT_TRUE(testing::WaitUntil([&] { return process.state() == QProcess::NotRunning; }));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

TEST(BelvaneSendTest, SendsExactlyTheAlarmBytesOrRefusesBeforeConnecting)
{
    struct Case
    {
        QStringList arguments;
        std::string input;
        int exitCode;
        std::string expected; // the bytes received when sent, else a part of the one error line
    };
    const std::string host = QSysInfo::machineHostName().toStdString();
    const std::vector<Case> cases = {
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
        {{"--message", "😀"}, "", 2, "U+1F600"},
        {{"--message", "a\n#Level=9"}, "", 2, "marker"},
        {{"--marker", "--message", "a$mESSAGEb"}, "", 2, "marker"},
        {{"--message", "m", "--level", "high"}, "", 2, "--level"},
        {{}, "\xff\xfe", 2, "UTF-8"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        std::vector<std::string> received;
        AlarmReceiver receiver([&](std::string &text) { received.push_back(text); });
        ASSERT_EQ(receiver.StartListening(0), AlarmReceiver::ListenState::Listening);
        const SendResult run =
            runSend(QStringList(c.arguments) << "--port" << QString::number(receiver.boundPort()), c.input);
        EXPECT_EQ(run.exitCode, c.exitCode);
        if (c.exitCode == 0) {
            EXPECT_EQ(received, std::vector<std::string> {c.expected});
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_TRUE(received.empty());
            EXPECT_FALSE(receiver.connectionOpen());
            EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        }
        receiver.Finish();
    }
}

TEST(BelvaneSendTest, ReportsAnAlarmThatDidNotGetThrough)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QString closedPort = QString::number(closed.serverPort());
    closed.close();
    // This receiver resets every connection instead of closing it once the alarm is in.
    QTcpServer resetting;
    ASSERT_TRUE(resetting.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&resetting, &QTcpServer::newConnection, [&]() {
        QTcpSocket *socket = resetting.nextPendingConnection();
        const linger hard {1, 0};
        ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    });
    const QString resettingPort = QString::number(resetting.serverPort());
    for (const QString &port : {closedPort, resettingPort}) {
        SCOPED_TRACE(port.toStdString());
        const SendResult run = runSend({"--message", "m", "--port", port});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("belvane-send: "), std::string::npos) << run.err;
    }
    const SendResult help = runSend({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--marker"), std::string::npos);
}

} // namespace
} // namespace belvane
