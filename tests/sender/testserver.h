#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct TestCertificates;
class TestStream;
class TlsContext;

// The raw bytes a test server sends on one connection, after it has read the request.
struct TestResponse {
    struct Part {
        std::string bytes;
        uint64_t repeat = 1;                // sent this many times: a huge body costs no memory
        std::chrono::milliseconds delay{0}; // pause before this part
    };
    std::vector<Part> parts;
    // After the parts: close (the client sees the end of the stream), or stay open and silent
    // until the client leaves or the server stops.
    bool closeAfterSending = true;

    static TestResponse raw(std::string bytes);
    // Accepts, reads the request and never answers.
    static TestResponse silent();
    TestResponse& then(std::string bytes, std::chrono::milliseconds delay = {},
                       uint64_t repeat = 1);
    TestResponse& stayOpen();
};

// A loopback HTTP server for tests: listens on 127.0.0.1 at a free port, serves each connection
// on its own thread with one scripted response, and stops by itself when destroyed, ending
// every connection it still holds. It speaks plain HTTP, or HTTPS when made with certificates.
class TestServer {
public:
    using Handler = std::function<TestResponse(const std::string& request)>;

    // Throws std::runtime_error when it cannot listen.
    TestServer();
    // HTTPS with the certificate and key of certificates (see tlsserver.h); a connection whose
    // handshake fails is counted but has no request. Throws std::runtime_error as above, or
    // when the files do not load.
    explicit TestServer(const TestCertificates& certificates);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    uint16_t port() const { return m_port; }
    // "http://127.0.0.1:<port>" (https for a TLS server) followed by target.
    std::string url(std::string_view target = "/") const;

    // Which response a connection gets: the next queued one (in the order connections are
    // accepted), else the handler's answer to its request, else the default response
    // (200 with an empty body at first).
    void queueResponse(TestResponse response);
    void setHandler(Handler handler);
    void setDefaultResponse(TestResponse response);

    int connectionCount() const;
    // Each request read so far, its bytes up to and including the blank line.
    std::vector<std::string> requests() const;
    // Waits until at least count connections have been accepted; false if that takes longer.
    bool waitForConnections(int count, std::chrono::milliseconds limit) const;

private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    explicit TestServer(std::unique_ptr<TlsContext> tls);
    void acceptLoop();
    void serve(int fd, std::optional<TestResponse> scripted);
    TestResponse choose(const std::string& request);
    // 1 when fd is ready, 0 on time-out, -1 when the server is stopping.
    int waitReady(int fd, short events, int timeoutMs) const;
    bool handshake(int fd, TestStream& stream) const;
    bool readRequest(int fd, TestStream& stream, std::string& request) const;
    bool sendAll(int fd, TestStream& stream, std::string_view bytes) const;
    bool endSending(int fd, TestStream& stream) const;
    void waitForClientToLeave(int fd, TestStream& stream) const;

    std::unique_ptr<TlsContext> m_tls; // null: plain HTTP
    int m_listenFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    uint16_t m_port = 0;
    std::thread m_acceptor;
    std::list<std::unique_ptr<Connection>> m_connections; // the acceptor's alone

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    int m_connectionCount = 0;
    std::vector<std::string> m_requests;
    std::deque<TestResponse> m_queue;
    Handler m_handler;
    TestResponse m_default;
};
