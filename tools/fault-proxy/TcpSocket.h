#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qbk::faultproxy {

// A loopback TCP socket. The fault proxy needs what an HTTP library hides on purpose: an
// abortive close (RST), a Content-Length that lies and bytes written in pieces, so this is
// the one file of the tool that includes the OS socket headers.
class TcpSocket {
public:
    enum class ReadStatus { Data, Closed, Reset, TimedOut, Failed };

    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Listens on 127.0.0.1; port 0 takes a free one. Invalid on failure.
    static TcpSocket listenLoopback(int port);
    static TcpSocket connectLoopback(int port);

    bool valid() const { return fd_ >= 0; }
    int localPort() const;
    TcpSocket accept() const;

    void setReceiveTimeout(std::chrono::milliseconds timeout);
    // Appends what arrived to buffer; Data when at least one byte did.
    ReadStatus readSome(std::string& buffer);
    bool writeAll(std::string_view bytes);

    // Close with SO_LINGER 0, so the peer sees a reset instead of an orderly end.
    void reset();
    void close();

private:
    explicit TcpSocket(int fd) : fd_(fd) {}

    int fd_ = -1;
};

} // namespace qbk::faultproxy
