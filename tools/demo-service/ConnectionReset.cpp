#include "ConnectionReset.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace {

bool sameEndpoint(const sockaddr_in &address, const std::string &host, int port)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return ntohs(address.sin_port) == port && host == text;
}

} // namespace

bool ConnectionReset::reset(const std::string &localAddr, int localPort,
                            const std::string &remoteAddr, int remotePort)
{
    DIR *fds = opendir("/proc/self/fd");
    if (!fds)
        return false;
    bool done = false;
    while (dirent *entry = readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == dirfd(fds))
            continue;
        sockaddr_in local{};
        sockaddr_in peer{};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localLength) != 0
            || local.sin_family != AF_INET
            || getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0)
            continue;
        if (!sameEndpoint(local, localAddr, localPort)
            || !sameEndpoint(peer, remoteAddr, remotePort))
            continue;
        // Connecting to AF_UNSPEC disconnects a TCP socket with a RST while the descriptor
        // stays valid, so the library still closes it itself afterwards.
        sockaddr unspecified{};
        unspecified.sa_family = AF_UNSPEC;
        done = ::connect(fd, &unspecified, sizeof unspecified) == 0;
        break;
    }
    closedir(fds);
    return done;
}
