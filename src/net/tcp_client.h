// The generic TCP client: one blocking IPv4 connection whose every send and receive is
// bounded by a readiness wait. Not synchronised: CKavoTcpClient serialises its use. Only
// Abort() may be called from another thread while an operation is under way.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace kavo {

// Time limits in milliseconds. The defaults are the product's; tests shorten them.
struct CNetTimeouts {
    int ioMs = 20000;       // every send and every receive
    int drainMs = 20000;    // each chunk while draining
    int livenessMs = 1000;  // the liveness check
    int connectMs = 10000;  // a connect, so an unreachable host cannot hold a login for minutes
};

class CTcpClient {
public:
    // The value of the last error code before any exchange: the remote server cannot be reached.
    static constexpr int kInitialError = 26;

    CTcpClient();
    virtual ~CTcpClient();
    CTcpClient(const CTcpClient&) = delete;
    CTcpClient& operator=(const CTcpClient&) = delete;

    // Opens a new connection (closing any previous socket). host is a dotted IPv4 address
    // or a name (its first IPv4 address is used). On success the last error code becomes 0;
    // a failure leaves it as it was.
    bool Connect(const std::string& host, int port);

    // Sends all n bytes, at most five send calls, each after the socket became writable
    // within timeoutMs. A failed wait or a socket error closes the connection. The
    // sequence counter counts the packet once the sending began, even if it fell short.
    bool SendAll(const void* data, std::size_t n, int timeoutMs);

    // Receives exactly n bytes into dst (zeroed first), at most five receive calls. A failed
    // wait (time-out, or readable with nothing waiting: the peer closed), a peer close or a
    // socket error closes the connection. Running out of calls fails with the connection open.
    bool RecvExact(void* dst, std::size_t n, int timeoutMs);

    // Reads and discards whatever input is waiting.
    void Drain();

    // The liveness check: dead when not connected, or when the socket does not become
    // writable within the liveness time (the connection is then closed).
    bool IsDead();

    // Closes the socket; true when there was one and it closed.
    bool Close();

    // Callable from any thread: makes an operation under way (a wait, a connect) return
    // promptly with failure, closing its connection. Operations begun afterwards, from the
    // next BeginOperation() on, are unaffected.
    void Abort();
    // Marks the start of an operation that a later Abort() is meant to stop.
    void BeginOperation();
    // While held, Abort() does nothing: for a request whose outcome the caller must learn
    // because the server may already have acted on it. The caller's own cancelled flag
    // still stops it before the next request; the time limits still end a silent server.
    void HoldAborts(bool hold);

    int LastError() const { return lastError_.load(); }
    void SetLastError(int code) { lastError_.store(code); }
    std::uint32_t Sequence() const { return sequence_.load(); }
    bool IsConnected() const { return connected_.load(); }
    const std::string& Host() const { return host_; }
    int Port() const { return port_; }
    // errno of the last failed socket call, for diagnostics.
    int LastOsError() const { return osError_; }

    // Replaces how Connect() obtains its connected socket: the function returns a connected
    // stream descriptor that the client then owns, or -1. Lets the fuzz target and tests
    // hand the client one end of a socket pair; unset, Connect() dials TCP.
    using Connector = std::function<int(const std::string& host, int port)>;
    void SetConnector(Connector connector) { connector_ = std::move(connector); }

    void SetTimeouts(const CNetTimeouts& t) { timeouts_ = t; }
    const CNetTimeouts& Timeouts() const { return timeouts_; }

protected:
    // Bytes waiting once the socket became readable within timeoutMs; 0 when it did not,
    // or when it is readable with nothing waiting.
    std::size_t WaitReadable(int timeoutMs);
    bool WaitWritable(int timeoutMs);
    // Closes the socket after a failure inside an operation.
    void CloseConnection();

private:
    // Waits for `events` on the socket; the poll result bits, 0 on time-out, -1 on abort
    // or error.
    int PollSocket(short events, int timeoutMs);
    bool Aborted() const { return abortGeneration_.load() != operationGeneration_; }
    void SetSocket(int fd);
    // A connected TCP socket to host:port within the connect time limit, or -1.
    int Dial(const std::string& host, int port);

    std::string host_;
    int port_ = 0;
    std::atomic<bool> connected_{false};
    std::atomic<int> lastError_{kInitialError};
    std::atomic<std::uint32_t> sequence_{0};
    int osError_ = 0;
    CNetTimeouts timeouts_;
    Connector connector_;

    // The socket, -1 without one. Written only with fdMutex_ held, so that Abort() from
    // another thread never shuts down a descriptor that was closed and reused meanwhile.
    int fd_ = -1;
    std::mutex fdMutex_;
    int wakeFd_ = -1;  // an eventfd that Abort() signals to end a wait
    std::atomic<std::uint64_t> abortGeneration_{0};
    std::atomic<bool> abortsHeld_{false};
    std::uint64_t operationGeneration_ = 0;
};

}  // namespace kavo
