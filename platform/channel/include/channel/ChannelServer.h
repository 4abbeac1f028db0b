// The UI process's end of the channel: a private Unix socket that the bridge module of each
// web process connects to, served from the GLib main loop without ever blocking.
#pragma once

#include <glib.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "channel/Messages.h"

namespace channel {

class ChannelServer {
public:
    using ConnectionId = std::uint64_t;

    // Queued output above this many bytes makes Send refuse further messages for that
    // connection (a module that stopped reading must not make the UI process grow forever).
    static constexpr std::size_t kMaxQueuedBytes = std::size_t{512} << 20;
    // At most this many connections may wait for their secret at once; a new one beyond that
    // pushes out the one that has waited longest. The real module presents its secret in the
    // first bytes it writes, so a flood of silent connections cannot keep it out.
    static constexpr std::size_t kMaxPendingConnections = 32;
    // One wake-up of the listening socket accepts at most this many connections, so that a
    // flood of them leaves the main loop time for its other work.
    static constexpr int kMaxAcceptsPerDispatch = 16;

    // Every callback runs from the main loop of `context`, after the connection presented the
    // secret. A callback may call Send and Close, also for its own connection.
    std::function<void(ConnectionId)> onHello;
    std::function<void(ConnectionId, const WindowObjectCleared&)> onWindowObjectCleared;
    std::function<void(ConnectionId, const ServiceCall&)> onServiceCall;
    // The peer went away, sent garbage, or a write failed. Not called for Close().
    std::function<void(ConnectionId)> onClosed;

    // Serves sockets from `context` (null: the thread-default context at construction). Makes
    // the secret; listens only after Listen().
    explicit ChannelServer(GMainContext* context = nullptr);
    ~ChannelServer();

    ChannelServer(const ChannelServer&) = delete;
    ChannelServer& operator=(const ChannelServer&) = delete;

    // Creates a fresh private directory (mode 0700, under $XDG_RUNTIME_DIR or the temporary
    // folder) with the listening socket inside. Answers false when any step failed.
    bool Listen();

    // The socket's path ("" before Listen) and the folder that holds it.
    const std::string& address() const { return m_address; }
    const std::string& directory() const { return m_directory; }
    // 64 hexadecimal digits of random bytes, made at construction.
    const std::string& secret() const { return m_secret; }

    // Serves an already connected stream socket as if it had been accepted (the server owns it
    // from now on). It is authenticated like any other. Answers 0 when the peer runs as
    // another user (the socket is closed then).
    ConnectionId Adopt(int fd);

    // Queues `message` for an authenticated connection and writes what the socket takes now;
    // the rest goes out from the main loop. Never blocks. False for an unknown or
    // unauthenticated connection, a frame that is too large, or a full queue.
    bool Send(ConnectionId id, const Message& message);

    // Drops the connection at once; queued output is discarded.
    void Close(ConnectionId id);

    // A connection that has not presented the secret this long after it was accepted is
    // closed. Takes effect for connections accepted from now on.
    void SetHelloTimeout(unsigned milliseconds) { m_helloTimeoutMs = milliseconds; }

    bool IsAuthenticated(ConnectionId id) const;
    std::size_t ConnectionCount() const { return m_connections.size(); }
    std::size_t QueuedBytes(ConnectionId id) const;

private:
    struct Connection;

    static gboolean OnAcceptReady(gint fd, GIOCondition condition, gpointer self);
    static gboolean OnReadReady(gint fd, GIOCondition condition, gpointer connection);
    static gboolean OnWriteReady(gint fd, GIOCondition condition, gpointer connection);
    static gboolean OnHelloTimeout(gpointer connection);
    static gboolean OnListenAgain(gpointer self);

    void AcceptPending();
    void ReadFrom(Connection& connection);
    // Answers false when the connection was closed while handling the message.
    bool Handle(Connection& connection, Message& message);
    void Flush(Connection& connection);
    void Fail(ConnectionId id);
    // Closes the connection that has waited longest for its secret; false when none waits.
    bool DropOldestPending();
    std::size_t PendingCount() const;
    void WatchListeningSocket();
    Connection* Find(ConnectionId id) const;

    GMainContext* m_context;
    std::string m_secret;
    std::string m_directory;
    std::string m_address;
    int m_listenFd = -1;
    GSource* m_listenSource = nullptr;
    GSource* m_listenPause = nullptr;
    unsigned m_helloTimeoutMs = 5000;
    ConnectionId m_nextId = 1;
    std::map<ConnectionId, std::unique_ptr<Connection>> m_connections;
};

}  // namespace channel
