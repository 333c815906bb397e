#pragma once

#include <memory>
#include <string>

namespace httplib {
class Client;
}

namespace qbk::faultproxy {

// What the proxy sends back for one request, before any fault is applied.
struct Answer {
    int status = 200;
    std::string body;
    std::string contentType = "application/octet-stream";
    std::string location;
    bool retryAfter = false;
};

// One kept-alive connection to the mirror behind the proxy, owned by one client connection.
class UpstreamLink {
public:
    explicit UpstreamLink(int port);
    ~UpstreamLink();
    UpstreamLink(const UpstreamLink&) = delete;
    UpstreamLink& operator=(const UpstreamLink&) = delete;

    // The mirror's answer; 502 when the mirror cannot be reached.
    Answer get(const std::string& target);

private:
    std::unique_ptr<httplib::Client> client_;
};

} // namespace qbk::faultproxy
