// belvane-send: sends one alarm to a Belvane receiver over TCP and reports whether it got there.
#include "AlarmText.h"
#include "Cp932.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QStringDecoder>
#include <QSysInfo>
#include <QTcpSocket>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr int exitSent = 0;
constexpr int exitNotSent = 1;
constexpr int exitRefused = 2;

// The receiver keeps no more of one alarm than this.
constexpr std::size_t longestAlarm = std::size_t {1} << 20;

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

int fail(int code, const QString &reason)
{
    std::fprintf(stderr, "belvane-send: %s\n", reason.toLocal8Bit().constData());
    return code;
}

struct Alarm
{
    std::string sender;
    std::string message;
    std::int32_t level = 0;
    bool marker = false;
};

std::string composeText(const Alarm &alarm)
{
    const std::string level = std::to_string(alarm.level);
    if (alarm.marker) {
        return "#lOGIC=2$lOGIC#sENDER=" + alarm.sender + "$sENDER#mESSAGE=" + alarm.message
            + "$mESSAGE#lEVEL=" + level + "$lEVEL";
    }
    return "#Sender=" + alarm.sender + "\n#Message=" + alarm.message + "\n#Level=" + level + "\n";
}

// The first character of `text` that cp932 cannot hold, as "U+XXXX".
QString firstUnencodable(const QString &text)
{
    for (const char32_t code : text.toUcs4()) {
        const QString one = QString::fromUcs4(&code, 1);
        if (!belvane::cp932::fromUnicode(one)) {
            return QStringLiteral("U+%1").arg(static_cast<uint>(code), 4, 16, QLatin1Char('0')).toUpper();
        }
    }
    return {};
}

// `text` as cp932 bytes, or the reason it cannot be sent.
std::optional<std::string> encodeField(const QString &what, const QString &text, QString &reason)
{
    if (text.contains(QChar(0))) {
        reason = QStringLiteral("the %1 holds a NUL character, which ends an alarm text early").arg(what);
        return std::nullopt;
    }
    std::optional<std::string> bytes = belvane::cp932::fromUnicode(text);
    if (!bytes) {
        reason = QStringLiteral("the %1 holds %2, which cp932 cannot hold").arg(what, firstUnencodable(text));
    }
    return bytes;
}

// The whole of standard input as UTF-8 text without its final line end.
std::optional<QString> readStandardInput(QString &reason)
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        reason = QStringLiteral("cannot read standard input");
        return std::nullopt;
    }
    QByteArray bytes;
    while (bytes.size() <= static_cast<qsizetype>(longestAlarm)) {
        const QByteArray more = in.read(64 * 1024);
        if (more.isEmpty()) {
            break;
        }
        bytes += more;
    }
    if (bytes.endsWith('\n')) {
        bytes.chop(bytes.endsWith("\r\n") ? 2 : 1);
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        reason = QStringLiteral("standard input is not UTF-8 text");
        return std::nullopt;
    }
    return text;
}

// Connects, writes everything, ends its side and waits for the receiver to close its end, which it
// does once it has taken the alarm. Every wait is bounded by `timeoutMs`.
bool sendText(const QString &host, quint16 port, const std::string &text, int timeoutMs, QString &reason)
{
    QTcpSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(timeoutMs)) {
        reason =
            QStringLiteral("cannot connect to %1 port %2: %3").arg(host).arg(port).arg(socket.errorString());
        return false;
    }
    socket.write(text.data(), static_cast<qint64>(text.size()));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(timeoutMs)) {
            reason = QStringLiteral("sending to %1 port %2 failed: %3")
                         .arg(host)
                         .arg(port)
                         .arg(socket.errorString());
            return false;
        }
    }
    // Ending only our side tells the receiver the alarm is complete and still lets us see its close,
    // so a reset or a receiver that dies before taking the alarm is not mistaken for success. Qt reports
    // a reset as an orderly close, so this last wait works on the descriptor itself.
    const int fd = static_cast<int>(socket.socketDescriptor());
    if (::shutdown(fd, SHUT_WR) != 0) {
        reason =
            QStringLiteral("cannot end the alarm to %1 port %2: %3").arg(host).arg(port).arg(errnoText());
        return false;
    }
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        pollfd ready {fd, POLLIN, 0};
        const int waited = ::poll(&ready, 1, static_cast<int>(deadline.remainingTime()));
        if (waited < 0 && errno == EINTR) {
            continue;
        }
        if (waited == 0) {
            reason = QStringLiteral("%1 port %2 did not end the connection within %3 ms")
                         .arg(host)
                         .arg(port)
                         .arg(timeoutMs);
            return false;
        }
        char discard[512]; // a receiver sends nothing; whatever comes is not ours to show
        const ssize_t got = waited < 0 ? -1 : ::recv(fd, discard, sizeof discard, 0);
        if (got == 0) {
            return true;
        }
        if (got < 0 && errno != EINTR && errno != EAGAIN) {
            reason = QStringLiteral("the connection to %1 port %2 failed: %3")
                         .arg(host)
                         .arg(port)
                         .arg(errnoText());
            return false;
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("belvane-send"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BELVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends one alarm to a Belvane receiver. The texts are sent as cp932; the alarm ends when the "
        "connection is closed.\nExit status: 0 sent, 1 not delivered, 2 refused before sending."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption hostOption(QStringLiteral("host"),
                                        QStringLiteral("Receiver's host (default 127.0.0.1)."),
                                        QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Receiver's TCP port (default 9912)."),
                                        QStringLiteral("port"), QStringLiteral("9912"));
    const QCommandLineOption senderOption(
        QStringLiteral("sender"), QStringLiteral("Sender shown with the alarm (default this host's name)."),
        QStringLiteral("text"));
    const QCommandLineOption messageOption(QStringLiteral("message"),
                                           QStringLiteral("The message (default standard input)."),
                                           QStringLiteral("text"));
    const QCommandLineOption levelOption(QStringLiteral("level"),
                                         QStringLiteral("Alarm level, the action list's entry (default 0)."),
                                         QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption markerOption(
        QStringLiteral("marker"), QStringLiteral("Send the marker format instead of the line format."));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"), QStringLiteral("Longest wait for each network step (default 10000)."),
        QStringLiteral("ms"), QStringLiteral("10000"));
    parser.addOptions(
        {hostOption, portOption, senderOption, messageOption, levelOption, markerOption, timeoutOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        return fail(exitRefused, parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parser.showHelp(exitSent);
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parser.showVersion();
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(exitRefused,
                    QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    }

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535 || port == 0) {
        return fail(exitRefused, QStringLiteral("--port needs a number from 1 to 65535"));
    }
    const int timeoutMs = parser.value(timeoutOption).toInt(&ok);
    if (!ok || timeoutMs <= 0) {
        return fail(exitRefused, QStringLiteral("--timeout needs a positive number of milliseconds"));
    }
    Alarm alarm;
    alarm.marker = parser.isSet(markerOption);
    alarm.level = parser.value(levelOption).toInt(&ok);
    if (!ok) {
        return fail(exitRefused, QStringLiteral("--level needs a whole number"));
    }

    QString reason;
    const QString sender =
        parser.isSet(senderOption) ? parser.value(senderOption) : QSysInfo::machineHostName();
    std::optional<QString> message =
        parser.isSet(messageOption) ? parser.value(messageOption) : readStandardInput(reason);
    if (!message) {
        return fail(exitRefused, reason);
    }
    const std::optional<std::string> senderBytes = encodeField(QStringLiteral("sender"), sender, reason);
    if (!senderBytes) {
        return fail(exitRefused, reason);
    }
    const std::optional<std::string> messageBytes = encodeField(QStringLiteral("message"), *message, reason);
    if (!messageBytes) {
        return fail(exitRefused, reason);
    }
    alarm.sender = *senderBytes;
    alarm.message = *messageBytes;

    const std::string text = composeText(alarm);
    if (text.size() > longestAlarm) {
        return fail(exitRefused, QStringLiteral("the alarm is longer than the 1 MiB a receiver keeps"));
    }
    // A text that holds a marker of its own would be cut differently by the receiver; read it back the
    // way the receiver will and refuse what does not come out as given.
    const belvane::AlarmMessage parsed = belvane::ParseAlarmText(text, belvane::selectAlarmFormat(text));
    if (parsed != belvane::AlarmMessage {alarm.sender, alarm.message, alarm.level}) {
        return fail(exitRefused,
                    QStringLiteral("the sender or message holds an alarm marker (such as \"%1\"), so the "
                                   "receiver would read it differently")
                        .arg(alarm.marker ? QStringLiteral("$mESSAGE") : QStringLiteral("#Level=")));
    }

    if (!sendText(parser.value(hostOption), static_cast<quint16>(port), text, timeoutMs, reason)) {
        return fail(exitNotSent, reason);
    }
    return exitSent;
}
