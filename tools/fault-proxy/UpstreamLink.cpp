#include "tools/fault-proxy/UpstreamLink.h"

#include <httplib.h>

namespace qbk::faultproxy {

UpstreamLink::UpstreamLink(int port)
    : client_(std::make_unique<httplib::Client>("127.0.0.1", port)) {
    client_->set_keep_alive(true);
    client_->set_connection_timeout(5);
    client_->set_read_timeout(30);
}

UpstreamLink::~UpstreamLink() = default;

Answer UpstreamLink::get(const std::string& target) {
    Answer answer;
    const auto result = client_->Get(target);
    if (!result) {
        answer.status = 502;
        answer.contentType = "text/plain";
        answer.body =
            "fault-proxy: mirror unreachable: " + httplib::to_string(result.error()) + "\n";
        return answer;
    }
    answer.status = result->status;
    answer.body = result->body;
    if (result->has_header("Content-Type"))
        answer.contentType = result->get_header_value("Content-Type");
    if (result->has_header("Location"))
        answer.location = result->get_header_value("Location");
    return answer;
}

} // namespace qbk::faultproxy
