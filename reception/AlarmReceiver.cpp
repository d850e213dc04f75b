#include "AlarmReceiver.h"

#include <QTcpSocket>

#include <algorithm>
#include <limits>

namespace belvane {

namespace {
// Qt reads from the system ahead of us; this bounds what it holds for a sender that never stops.
constexpr qint64 socketBufferSize = 64 * 1024;
// How many buffers full a connection being finished may still bring in.
constexpr int finishRounds = 64;

using Clock = ConnectionState::Clock;
} // namespace

AlarmReceiver::AlarmReceiver(ConnectionState::Dispatch dispatch, std::chrono::milliseconds quiet)
    : state(std::move(dispatch))
    , quietLimit(quiet)
{
    server.setListenBacklogSize(listenBacklog);
    connect(&server, &QTcpServer::newConnection, this, &AlarmReceiver::acceptConnections);
    connect(&server, &QTcpServer::acceptError, this, &AlarmReceiver::acceptFailed);
    quietTimer.setSingleShot(true);
    connect(&quietTimer, &QTimer::timeout, this, &AlarmReceiver::finishQuiet);
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(acceptRetry);
    connect(&retryTimer, &QTimer::timeout, &server, &QTcpServer::resumeAccepting);
}

AlarmReceiver::~AlarmReceiver()
{
    for (const Link &link : links) {
        link.socket->disconnect(this);
        link.socket->abort();
        delete link.socket;
    }
}

AlarmReceiver::ListenState AlarmReceiver::startListening(std::int32_t port)
{
    if (listenState == ListenState::Listening || state.finished()) {
        return listenState;
    }
    // The stored port is used as it stands; one that is no TCP port at all is not folded into one.
    const bool usable = port >= 0 && port <= std::numeric_limits<quint16>::max()
        && server.listen(QHostAddress::AnyIPv4, static_cast<quint16>(port));
    listenState = usable ? ListenState::Listening : ListenState::PortUnavailable;
    return listenState;
}

void AlarmReceiver::finish()
{
    server.close();
    retryTimer.stop();
    if (listenState == ListenState::Listening) {
        listenState = ListenState::NotStarted;
    }
    // Oldest first; a dispatch may let the others' events in, so each round starts from what is left.
    while (!links.empty()) {
        finishConnection(links.front().id, End::Ours);
    }
    state.finish();
    quietTimer.stop();
}

quint16 AlarmReceiver::boundPort() const
{
    return server.isListening() ? server.serverPort() : 0;
}

void AlarmReceiver::acceptConnections()
{
    while (QTcpSocket *next = server.nextPendingConnection()) {
        if (state.finished()) {
            next->abort();
            next->deleteLater();
            continue;
        }
        // A newcomer never cuts another sender short; only beyond the open limit does the one that
        // has been silent the longest end, as if its sender had closed.
        while (const auto quietest = state.toMakeRoom()) {
            finishConnection(*quietest, End::Ours);
        }
        const ConnectionState::Id id =
            state.accept(next->peerAddress().toString().toStdString(), Clock::now());
        links.push_back(Link {next, id});
        next->setReadBufferSize(socketBufferSize);
        connect(next, &QTcpSocket::readyRead, this, [this, id]() { drain(id); });
        connect(next, &QTcpSocket::disconnected, this,
                [this, id]() { finishConnection(id, End::PeerClosed); });
        connect(next, &QTcpSocket::errorOccurred, this, [this, id](QAbstractSocket::SocketError error) {
            // An orderly close is followed by `disconnected`; a look for waiting data that found none
            // reports a time-out, which ends nothing. A reset or other failure ends the connection with
            // what arrived.
            if (error != QAbstractSocket::RemoteHostClosedError
                && error != QAbstractSocket::SocketTimeoutError) {
                finishConnection(id, End::Failed);
            }
        });
        armQuietTimer();
        // A quick sender has often written its alarm and closed before we get here; taking that in
        // now saves two rounds of the event loop between its close and the dispatch.
        takeWaiting(id);
    }
}

void AlarmReceiver::acceptFailed()
{
    // Qt has stopped accepting. Out of descriptors, the senders waiting in the queue are told at once
    // rather than left hanging; either way accepting resumes shortly, without a busy loop.
    spare.shedWaiting(static_cast<int>(server.socketDescriptor()));
    retryTimer.start();
}

void AlarmReceiver::finishQuiet()
{
    while (const auto silent = state.expired(Clock::now(), quietLimit)) {
        finishConnection(*silent, End::Ours);
    }
    armQuietTimer();
}

void AlarmReceiver::armQuietTimer()
{
    const auto expiry = state.nextExpiry(quietLimit);
    if (!expiry) {
        quietTimer.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*expiry - Clock::now());
    quietTimer.start(std::max(wait, std::chrono::milliseconds(0)));
}

void AlarmReceiver::finishConnection(ConnectionState::Id id, End how)
{
    if (how == End::Ours) {
        takeWaiting(id);
    } else {
        drain(id);
    }
    // Taking in what waited may have ended it already, through the peer's close.
    const auto link = std::find_if(links.begin(), links.end(), [id](const Link &l) { return l.id == id; });
    if (link != links.end()) {
        QTcpSocket *gone = link->socket;
        links.erase(link);
        gone->disconnect(this);
        if (how == End::Failed) {
            gone->abort();
        } else {
            gone->close();
        }
        gone->deleteLater();
    }
    state.closed(id);
    armQuietTimer();
}

QTcpSocket *AlarmReceiver::socketOf(ConnectionState::Id id) const
{
    const auto link = std::find_if(links.begin(), links.end(), [id](const Link &l) { return l.id == id; });
    return link == links.end() ? nullptr : link->socket;
}

void AlarmReceiver::takeWaiting(ConnectionState::Id id)
{
    // Qt has read only what it was told of; what a sender wrote (and its close) may still wait in the
    // system. Reading without waiting brings it in through the usual handlers, which may end the
    // connection. A sender that never pauses is cut off after a few rounds.
    QTcpSocket *socket = socketOf(id);
    if (socket == nullptr) {
        return;
    }
    drain(id);
    for (int round = 0; round < finishRounds && socketOf(id) == socket && socket->waitForReadyRead(0);
         ++round) {
        drain(id);
    }
}

void AlarmReceiver::drain(ConnectionState::Id id)
{
    QTcpSocket *socket = socketOf(id);
    if (socket == nullptr) {
        return;
    }
    const auto now = Clock::now();
    for (;;) {
        const qint64 got = socket->read(buffer.data(), static_cast<qint64>(buffer.size()));
        if (got <= 0) {
            return;
        }
        state.receive(id, std::string_view(buffer.data(), static_cast<std::size_t>(got)), now);
    }
}

} // namespace belvane
