#include "testserver.h"

#include "tlsserver.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A request head larger than this is taken as it is; no test needs more.
constexpr size_t kMaxRequest = 64 * 1024;

void setNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

TestResponse TestResponse::raw(std::string bytes) {
    TestResponse response;
    response.then(std::move(bytes));
    return response;
}

TestResponse TestResponse::silent() {
    TestResponse response;
    response.stayOpen();
    return response;
}

TestResponse& TestResponse::then(std::string bytes, std::chrono::milliseconds delay,
                                 uint64_t repeat) {
    parts.push_back({std::move(bytes), repeat, delay});
    return *this;
}

TestResponse& TestResponse::stayOpen() {
    closeAfterSending = false;
    return *this;
}

TestServer::TestServer() : TestServer(std::unique_ptr<TlsContext>()) {}

TestServer::TestServer(const TestCertificates& certificates)
    : TestServer(std::make_unique<TlsContext>(certificates)) {}

TestServer::TestServer(std::unique_ptr<TlsContext> tls)
    : m_tls(std::move(tls)), m_default(TestResponse::raw("HTTP/1.1 200 OK\r\n"
                                                         "Content-Length: 0\r\n\r\n")) {
    int wake[2];
    if (pipe(wake) != 0)
        throw std::runtime_error("test server: no pipe");
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];

    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (m_listenFd < 0 ||
        bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listenFd, SOMAXCONN) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (m_listenFd >= 0)
            close(m_listenFd);
        close(m_wakeRead);
        close(m_wakeWrite);
        throw std::runtime_error("test server: cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    setNonBlocking(m_listenFd);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

TestServer::~TestServer() {
    // One byte left unread in the pipe wakes every wait for good.
    const char stop = 1;
    while (write(m_wakeWrite, &stop, 1) < 0 && errno == EINTR) {
    }
    m_acceptor.join();
    for (auto& connection : m_connections)
        connection->thread.join();
    close(m_listenFd);
    close(m_wakeRead);
    close(m_wakeWrite);
}

std::string TestServer::url(std::string_view target) const {
    return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port) +
           std::string(target);
}

void TestServer::queueResponse(TestResponse response) {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(response));
}

void TestServer::setHandler(Handler handler) {
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

void TestServer::setDefaultResponse(TestResponse response) {
    std::lock_guard lock(m_mutex);
    m_default = std::move(response);
}

int TestServer::connectionCount() const {
    std::lock_guard lock(m_mutex);
    return m_connectionCount;
}

std::vector<std::string> TestServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool TestServer::waitForConnections(int count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_connectionCount >= count; });
}

int TestServer::waitReady(int fd, short events, int timeoutMs) const {
    pollfd fds[2] = {{m_wakeRead, POLLIN, 0}, {fd, events, 0}};
    const nfds_t count = fd >= 0 ? 2 : 1;
    for (;;) {
        const int rc = poll(fds, count, timeoutMs);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 || fds[0].revents != 0)
            return -1;
        return rc == 0 ? 0 : 1;
    }
}

void TestServer::acceptLoop() {
    while (waitReady(m_listenFd, POLLIN, -1) == 1) {
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            continue;
        std::optional<TestResponse> scripted;
        {
            std::lock_guard lock(m_mutex);
            ++m_connectionCount;
            if (!m_queue.empty()) {
                scripted = std::move(m_queue.front());
                m_queue.pop_front();
            }
        }
        m_changed.notify_all();

        // Threads of connections that have ended are joined here, so a long run of
        // connections does not pile them up.
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
        auto connection = std::make_unique<Connection>();
        Connection* raw = connection.get();
        connection->thread = std::thread([this, fd, raw, scripted = std::move(scripted)] {
            serve(fd, scripted);
            raw->done = true;
        });
        m_connections.push_back(std::move(connection));
    }
}

TestResponse TestServer::choose(const std::string& request) {
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        if (!m_handler)
            return m_default;
        handler = m_handler;
    }
    return handler(request);
}

bool TestServer::handshake(int fd, TestStream& stream) const {
    for (;;) {
        const TestStream::Step step = stream.accept();
        if (step.count > 0)
            return true;
        if (step.wait == 0 || waitReady(fd, step.wait, -1) != 1)
            return false;
    }
}

bool TestServer::readRequest(int fd, TestStream& stream, std::string& request) const {
    char buffer[4096];
    short wait = POLLIN;
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequest) {
        if (!stream.buffered() && waitReady(fd, wait, -1) != 1)
            return false;
        const TestStream::Step step = stream.read(buffer, sizeof buffer);
        if (step.count <= 0 && step.wait == 0)
            return false;
        wait = step.count > 0 ? POLLIN : step.wait;
        request.append(buffer, static_cast<size_t>(step.count));
    }
    const size_t end = request.find("\r\n\r\n");
    if (end != std::string::npos)
        request.resize(end + 4);
    return true;
}

bool TestServer::sendAll(int fd, TestStream& stream, std::string_view bytes) const {
    while (!bytes.empty()) {
        const TestStream::Step step = stream.write(bytes);
        if (step.wait != 0) {
            if (waitReady(fd, step.wait, -1) != 1)
                return false;
            continue;
        }
        if (step.count <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(step.count));
    }
    return true;
}

bool TestServer::endSending(int fd, TestStream& stream) const {
    for (;;) {
        const TestStream::Step step = stream.endSending();
        if (step.count > 0)
            return true;
        if (step.wait == 0 || waitReady(fd, step.wait, -1) != 1)
            return false;
    }
}

void TestServer::waitForClientToLeave(int fd, TestStream& stream) const {
    char buffer[4096];
    short wait = POLLIN;
    while (stream.buffered() || waitReady(fd, wait, -1) == 1) {
        const TestStream::Step step = stream.read(buffer, sizeof buffer);
        if (step.count <= 0 && step.wait == 0)
            return;
        wait = step.count > 0 ? POLLIN : step.wait;
    }
}

void TestServer::serve(int fd, std::optional<TestResponse> scripted) {
    std::string request;
    // The stream owns fd and closes it last.
    const std::unique_ptr<TestStream> stream = m_tls ? m_tls->makeStream(fd) : makePlainStream(fd);
    if (handshake(fd, *stream) && readRequest(fd, *stream, request)) {
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        m_changed.notify_all();
        const TestResponse response = scripted ? std::move(*scripted) : choose(request);
        bool sending = true;
        for (const TestResponse::Part& part : response.parts) {
            if (part.delay.count() > 0 &&
                waitReady(-1, 0, static_cast<int>(part.delay.count())) < 0) {
                sending = false;
                break;
            }
            for (uint64_t i = 0; sending && i < part.repeat; ++i)
                sending = sendAll(fd, *stream, part.bytes);
            if (!sending)
                break;
        }
        // A half close ends the response for the client while we wait for it to hang up, so
        // nothing it still sends turns our close into a reset that could cut the response.
        if (sending && response.closeAfterSending)
            sending = endSending(fd, *stream);
        if (sending)
            waitForClientToLeave(fd, *stream);
    }
}
