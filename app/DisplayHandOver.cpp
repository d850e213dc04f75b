#include "DisplayHandOver.h"

#include "AlarmLog.h"
#include "FolderLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace belvane {

namespace {
// In the folder, kept short: a local socket's whole path must fit in 108 bytes.
constexpr const char *socketName = ".belvane.sock";
// One line each way: the later copy asks, the headless copy says it is ending.
constexpr QByteArrayView request = "hand-over\n";
constexpr QByteArrayView reply = "ending\n";
// How long the later copy waits for an answer, and then for the headless copy to end: it only
// finishes the connections that are open, which takes moments.
constexpr int answerMs = 5000;
constexpr int endingMs = 20000;

void say(const QString &line)
{
    qCInfo(alarmLog).noquote() << line;
}

bool answers(const QString &path)
{
    QLocalSocket probe;
    probe.connectToServer(path);
    return probe.waitForConnected(answerMs);
}
} // namespace

DisplayHandOver::DisplayHandOver(const std::string &nativeFolder, QObject *parent)
    : QObject(parent)
    , folder(nativeFolder)
    , path(QFile::decodeName((nativeFolder + socketName).c_str()))
{ }

// The server, a child, removes its socket on destruction, before the caller lets go of the folder.
DisplayHandOver::~DisplayHandOver() = default;

void DisplayHandOver::offer()
{
    const QString cannot =
        QStringLiteral("引き継ぎ用のソケット %1 を開けません（%2）: 表示できるコピーには引き継げません");
    if (answers(path)) {
        say(cannot.arg(escapeControls(path), QStringLiteral("ほかのプログラムが応えています")));
        return;
    }
    server = new QLocalServer(this);
    // For the user alone. Qt then binds the socket under another name and renames it into place, which
    // replaces a socket left by a copy that ended abruptly: nobody answered on it.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onRequest(socket); });
        }
    });
    if (!server->listen(path)) {
        say(cannot.arg(escapeControls(path), server->errorString()));
        delete server;
        server = nullptr;
        return;
    }
    say(QStringLiteral("表示できるコピーが起動したら、このフォルダを引き継ぎます（%1）")
            .arg(escapeControls(path)));
}

void DisplayHandOver::onRequest(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > request.size()) {
            socket->abort(); // no request of ours
            socket->deleteLater();
        }
        return;
    }
    if (socket->readLine(request.size() + 1) != request) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    socket->write(reply.data(), reply.size());
    socket->flush();
    if (!handingOver) {
        handingOver = true;
        say(QStringLiteral("表示できるコピーから引き継ぎを頼まれました: 受信中の接続を終えて終了します"));
        emit handOverRequested();
    }
}

bool DisplayHandOver::takeOver(FolderLock &lock)
{
    QLocalSocket holder;
    holder.connectToServer(path);
    if (!holder.waitForConnected(answerMs)) {
        return false; // the copy holding the folder offers nothing
    }
    say(QStringLiteral("このフォルダは表示なしのコピーが使っています: 引き継ぎを頼みます"));
    holder.write(request.data(), request.size());
    const QDeadlineTimer answerBy(answerMs);
    while (!holder.canReadLine() && holder.waitForReadyRead(static_cast<int>(answerBy.remainingTime()))) { }
    if (!holder.canReadLine() || holder.readLine() != reply) {
        say(QStringLiteral("表示なしのコピーが引き継ぎに応えません"));
        return false;
    }
    const QDeadlineTimer endBy(endingMs);
    FolderLock::Result result;
    while ((result = lock.take(folder)) == FolderLock::Result::Taken && !endBy.hasExpired()) {
        QThread::msleep(20);
    }
    if (result == FolderLock::Result::Taken) {
        say(QStringLiteral("表示なしのコピーが %1 秒以内に終了しませんでした").arg(endingMs / 1000));
        return false;
    }
    say(QStringLiteral("表示なしのコピーが終了し、このフォルダを引き継ぎました"));
    return true;
}

} // namespace belvane
