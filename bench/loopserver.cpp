#include "loopserver.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace {

constexpr std::string_view kResponse = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
// A request larger than this is no request of ours; the connection is dropped.
constexpr size_t kMaxRequest = 64 * 1024;

void watch(int epollFd, int fd, uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = fd;
    if (epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev) != 0)
        throw std::runtime_error("epoll_ctl failed");
}

} // namespace

LoopServer::LoopServer(int threads) {
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    m_stopFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_listenFd < 0 || m_stopFd < 0)
        throw std::runtime_error("cannot make the server's sockets");
    const int on = 1;
    setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(m_listenFd, SOMAXCONN) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    m_port = ntohs(addr.sin_port);

    for (int i = 0; i < threads; ++i) {
        const int epollFd = epoll_create1(EPOLL_CLOEXEC);
        if (epollFd < 0)
            throw std::runtime_error("epoll_create1 failed");
        m_epollFds.push_back(epollFd);
        // Exclusive: one waiting thread wakes per new connection, not all of them.
        watch(epollFd, m_listenFd, EPOLLIN | EPOLLEXCLUSIVE);
        watch(epollFd, m_stopFd, EPOLLIN);
    }
    for (int epollFd : m_epollFds) {
        m_threads.emplace_back([this, epollFd] { loop(epollFd); });
        clockid_t clock{};
        if (pthread_getcpuclockid(m_threads.back().native_handle(), &clock) == 0)
            m_clocks.push_back(clock);
    }
}

LoopServer::~LoopServer() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_stopFd, &one, sizeof one);
    for (std::thread& thread : m_threads)
        thread.join();
    for (int epollFd : m_epollFds)
        close(epollFd);
    close(m_stopFd);
    close(m_listenFd);
}

double LoopServer::cpuSeconds() const {
    double total = 0;
    for (clockid_t clock : m_clocks) {
        timespec ts{};
        if (clock_gettime(clock, &ts) == 0)
            total += static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    }
    return total;
}

void LoopServer::loop(int epollFd) {
    // Open connections and the request bytes each has sent so far.
    std::unordered_map<int, std::string> open;
    epoll_event events[64];
    char buffer[4096];
    for (;;) {
        const int ready = epoll_wait(epollFd, events, 64, -1);
        if (ready < 0 && errno != EINTR)
            break;
        for (int i = 0; i < ready; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_stopFd) {
                for (const auto& [connection, request] : open)
                    close(connection);
                return;
            }
            if (fd == m_listenFd) {
                // A bounded batch, so one thread does not take every queued connection.
                for (int n = 0; n < 16; ++n) {
                    const int connection =
                        accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (connection < 0)
                        break;
                    open.emplace(connection, std::string());
                    watch(epollFd, connection, EPOLLIN | EPOLLRDHUP);
                }
                continue;
            }
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            auto it = open.find(fd);
            bool done = got <= 0;
            if (!done) {
                std::string& request = it->second;
                request.append(buffer, static_cast<size_t>(got));
                if (request.find("\r\n\r\n") != std::string::npos) {
                    if (send(fd, kResponse.data(), kResponse.size(), MSG_NOSIGNAL) ==
                        static_cast<ssize_t>(kResponse.size()))
                        ++m_served;
                    done = true;
                } else if (request.size() > kMaxRequest) {
                    done = true;
                }
            }
            if (done) {
                // Closing drops it from the epoll set as well.
                close(fd);
                open.erase(it);
            }
        }
    }
    for (const auto& [connection, request] : open)
        close(connection);
}
