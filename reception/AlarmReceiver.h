#pragma once

#include "ConnectionState.h"

#include <QObject>
#include <QTcpServer>

#include <array>
#include <cstdint>
#include <string>

class QTcpSocket;

namespace belvane {

// The receiver's listening socket and its one connection socket on the Qt event loop. Every local IPv4
// address is listened on; each connection's text is gathered by a ConnectionState and handed to the
// dispatch callback, synchronously, when the connection ends. Nothing is ever written to a peer; a
// port that cannot be listened on shows in StartListening's result and `listenError`, for the caller to
// report.
class AlarmReceiver final : public QObject
{
    Q_OBJECT

public:
    enum class ListenState { NotStarted, Listening, PortUnavailable };

    // Connections the system completes and queues for us while we are busy. Beyond the queue, Linux
    // drops a newcomer's handshake and the sender only tries again a second or more later; at a
    // queue of five, seven team members' alarm timers going off at the same minute already met
    // that. The system caps the value at its own limit (net.core.somaxconn).
    static constexpr int listenBacklog = 4096;

    explicit AlarmReceiver(ConnectionState::Dispatch dispatch, QObject *parent = nullptr);
    // Closes the sockets without dispatching: call Finish first to hand on an open connection's text.
    ~AlarmReceiver() override;
    AlarmReceiver(const AlarmReceiver &) = delete;
    AlarmReceiver &operator=(const AlarmReceiver &) = delete;

    // Starts listening on `port` (0 picks a free port). A port that cannot be used (taken, outside
    // 0-65535, not permitted) leaves the receiver deaf: the result says so.
    ListenState StartListening(std::int32_t port);
    // The program is ending: an open connection is finished (its text dispatched) and listening stops.
    void Finish();

    // Why the last StartListening failed; UnknownSocketError for a port outside 0-65535.
    QAbstractSocket::SocketError listenError() const { return server.serverError(); }
    // The port actually listened on, or 0 when not listening.
    quint16 boundPort() const;
    bool connectionOpen() const { return connection.connectionOpen(); }
    // The open connection's text gathered so far.
    const std::string &receivedText() const { return connection.receivedText(); }

private:
    void acceptConnections();
    void receiveText(QTcpSocket *socket);
    void connectionClosed(QTcpSocket *socket);
    void connectionFailed(QTcpSocket *socket);
    // Reads everything the socket holds into the connection, one chunk at a time.
    void drain(QTcpSocket *socket);
    // Takes in what has arrived for the socket without waiting for the event loop to report it.
    void takeWaiting(QTcpSocket *from);
    // Lets go of the current socket: no more of its signals, closed, deleted once its handlers return.
    void release(bool abort);

    QTcpServer server;
    QTcpSocket *socket = nullptr;
    ConnectionState connection;
    ListenState state = ListenState::NotStarted;
    std::array<char, ConnectionState::chunkSize> buffer {};
};

} // namespace belvane
