#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

// A new socket of `type` (SOCK_STREAM, SOCK_DGRAM) bound to 127.0.0.1 on a free port, which
// goes to `port`. -1 when no socket can be had.
inline int bindLoopback(int type, int *port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
    *port = ntohs(local.sin_port);
    return fd;
}
