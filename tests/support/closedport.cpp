#include "closedport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvan::test {

ClosedPort::ClosedPort() {
    socketFd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socketFd < 0) {
        return;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(socketFd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(socketFd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        number = ntohs(address.sin_port);
    }
}

ClosedPort::~ClosedPort() {
    if (socketFd >= 0) {
        ::close(socketFd);
    }
}

}  // namespace korvan::test
