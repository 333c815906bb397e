#include "tools/fault-proxy/TcpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>

namespace qbk::faultproxy {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

TcpSocket::~TcpSocket() {
    close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

TcpSocket TcpSocket::listenLoopback(int port) {
    TcpSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid())
        return {};
    const int on = 1;
    ::setsockopt(socket.fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback(port);
    if (::bind(socket.fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket.fd_, 128) != 0)
        return {};
    return socket;
}

TcpSocket TcpSocket::connectLoopback(int port) {
    TcpSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid())
        return {};
    const sockaddr_in address = loopback(port);
    if (::connect(socket.fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {};
    return socket;
}

int TcpSocket::localPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

TcpSocket TcpSocket::accept() const {
    int fd = -1;
    do {
        fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return TcpSocket(fd);
}

void TcpSocket::setReceiveTimeout(std::chrono::milliseconds timeout) {
    timeval value{};
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
}

TcpSocket::ReadStatus TcpSocket::readSome(std::string& buffer) {
    char chunk[16384];
    ssize_t got = -1;
    do {
        got = ::recv(fd_, chunk, sizeof chunk, 0);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        buffer.append(chunk, static_cast<std::size_t>(got));
        return ReadStatus::Data;
    }
    if (got == 0)
        return ReadStatus::Closed;
    if (errno == ECONNRESET)
        return ReadStatus::Reset;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        return ReadStatus::TimedOut;
    return ReadStatus::Failed;
}

bool TcpSocket::writeAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void TcpSocket::reset() {
    if (fd_ < 0)
        return;
    const linger abortive{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close();
}

void TcpSocket::close() {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
}

} // namespace qbk::faultproxy
