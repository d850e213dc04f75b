#include "AlarmReceiver.h"

#include <QTcpSocket>

#include <limits>

namespace belvane {

namespace {
// Qt reads from the system ahead of us; this bounds what it holds for a sender that never stops.
constexpr qint64 socketBufferSize = 64 * 1024;
// How many buffers full a connection being finished may still bring in.
constexpr int finishRounds = 64;
} // namespace

AlarmReceiver::AlarmReceiver(ConnectionState::Dispatch dispatch, QObject *parent)
    : QObject(parent)
    , connection(std::move(dispatch))
{
    server.setListenBacklogSize(listenBacklog);
    connect(&server, &QTcpServer::newConnection, this, &AlarmReceiver::acceptConnections);
}

AlarmReceiver::~AlarmReceiver()
{
    if (socket != nullptr) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

AlarmReceiver::ListenState AlarmReceiver::StartListening(std::int32_t port)
{
    if (state == ListenState::Listening || connection.phase() == ConnectionState::Phase::Finished) {
        return state;
    }
    // The stored port is used as it stands; one that is no TCP port at all is not folded into one.
    const bool usable = port >= 0 && port <= std::numeric_limits<quint16>::max()
        && server.listen(QHostAddress::AnyIPv4, static_cast<quint16>(port));
    state = usable ? ListenState::Listening : ListenState::PortUnavailable;
    return state;
}

void AlarmReceiver::Finish()
{
    if (socket != nullptr) {
        takeWaiting(socket);
    }
    if (socket != nullptr) {
        release(false);
    }
    server.close();
    if (state == ListenState::Listening) {
        state = ListenState::NotStarted;
    }
    connection.Finish();
}

quint16 AlarmReceiver::boundPort() const
{
    return server.isListening() ? server.serverPort() : 0;
}

void AlarmReceiver::acceptConnections()
{
    while (QTcpSocket *next = server.nextPendingConnection()) {
        if (connection.phase() == ConnectionState::Phase::Finished) {
            next->abort();
            next->deleteLater();
            continue;
        }
        // One connection at a time: a newcomer finishes the open one, which is first read to what has
        // arrived and closed, and its text dispatched.
        if (socket != nullptr) {
            takeWaiting(socket);
        }
        if (socket != nullptr) {
            release(false);
        }
        socket = next;
        socket->setReadBufferSize(socketBufferSize);
        connect(socket, &QTcpSocket::readyRead, this, [this, next]() { receiveText(next); });
        connect(socket, &QTcpSocket::disconnected, this, [this, next]() { connectionClosed(next); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, next](QAbstractSocket::SocketError error) {
            // An orderly close is followed by `disconnected`; a look for waiting data that found none
            // reports a time-out, which ends nothing.
            if (error != QAbstractSocket::RemoteHostClosedError
                && error != QAbstractSocket::SocketTimeoutError) {
                connectionFailed(next);
            }
        });
        connection.Accept();
        // A quick sender has often written its alarm and closed before we get here; taking that in
        // now saves two rounds of the event loop between its close and the dispatch.
        takeWaiting(next);
    }
}

void AlarmReceiver::takeWaiting(QTcpSocket *from)
{
    // Qt has read only what it was told of; what a sender wrote (and its close) may still wait in the
    // system. Reading without waiting brings it in through the usual handlers, which may end the
    // connection. A sender that never pauses is cut off after a few rounds.
    drain(from);
    for (int round = 0; round < finishRounds && socket == from && from->waitForReadyRead(0); ++round) {
        if (socket == from) {
            drain(from);
        }
    }
}

void AlarmReceiver::receiveText(QTcpSocket *from)
{
    if (from == socket) {
        drain(from);
    }
}

void AlarmReceiver::connectionClosed(QTcpSocket *from)
{
    if (from != socket) {
        return;
    }
    drain(from);
    release(false);
    connection.Closed();
}

void AlarmReceiver::connectionFailed(QTcpSocket *from)
{
    if (from != socket) {
        return;
    }
    // A reset or other failure: keep what arrived, let the socket go and dispatch at once.
    drain(from);
    release(true);
    connection.Closed();
}

void AlarmReceiver::drain(QTcpSocket *from)
{
    for (;;) {
        const qint64 got = from->read(buffer.data(), static_cast<qint64>(buffer.size()));
        if (got <= 0) {
            return;
        }
        connection.Receive(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    }
}

void AlarmReceiver::release(bool abort)
{
    QTcpSocket *gone = std::exchange(socket, nullptr);
    gone->disconnect(this);
    if (abort) {
        gone->abort();
    } else {
        gone->close();
    }
    gone->deleteLater();
}

} // namespace belvane
