#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <thread>
#include <vector>

// A loopback HTTP server built to be cheap: it answers every request at once with
// "200 ok" and closes. A few threads share one listening socket, each with its own epoll set,
// so twenty clients at once never queue behind a thread per connection. It stops by itself
// when destroyed.
class LoopServer {
public:
    // Throws std::runtime_error when it cannot listen.
    explicit LoopServer(int threads);
    ~LoopServer();
    LoopServer(const LoopServer&) = delete;
    LoopServer& operator=(const LoopServer&) = delete;

    uint16_t port() const { return m_port; }
    // Responses sent so far.
    long long served() const { return m_served.load(); }
    // CPU seconds the server threads have used so far; callable from any thread.
    double cpuSeconds() const;

private:
    void loop(int epollFd);

    int m_listenFd = -1;
    int m_stopFd = -1;
    uint16_t m_port = 0;
    std::vector<int> m_epollFds;
    std::vector<std::thread> m_threads;
    // Each thread's CPU clock, readable from any thread.
    std::vector<clockid_t> m_clocks;
    std::atomic<long long> m_served{0};
};
