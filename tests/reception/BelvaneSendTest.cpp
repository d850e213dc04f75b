#include "AlarmReceiver.h"
#include "Wait.h"

#include <QProcess>
#include <QSysInfo>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <sys/socket.h>

namespace belvane {
namespace {

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

TEST(BelvaneSendTest, SendsExactlyTheAlarmBytesOrSaysWhyNotInOneLine)
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
        std::vector<std::string> received;
        AlarmReceiver receiver([&](std::string &text) { received.push_back(text); });
        ASSERT_EQ(receiver.StartListening(0), AlarmReceiver::ListenState::Listening);
        const QString port = QString::number(receiver.boundPort());
        const auto [code, written] = runSend(
            arguments.contains("--port") ? arguments : QStringList(arguments) << "--port" << port, input);
        EXPECT_EQ(code, exitCode);
        const bool sent = exitCode == 0 && !arguments.contains("--help");
        EXPECT_EQ(received, sent ? std::vector {expected} : std::vector<std::string> {});
        EXPECT_FALSE(receiver.connectionOpen());
        EXPECT_TRUE(sent ? written.empty() : written.find(expected) != std::string::npos) << written;
        EXPECT_TRUE(exitCode == 0 || written.find('\n') == written.size() - 1) << "one line: " << written;
    }
}

} // namespace
} // namespace belvane
