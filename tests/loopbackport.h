#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A loopback port the kernel has just handed out and let go again: nothing listens on it, so a
// connection is refused, and a server may bind it (unless another program takes it first, so a
// server started on it retries with a new one). 0 when none could be had; errno then says why.
inline uint16_t freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        socklen_t length = sizeof address;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    const int bindError = errno;
    ::close(fd);
    errno = bindError; // for the caller's message
    return port;
}
