#include "tools/fault-proxy/FaultProxy.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

namespace qbk::faultproxy {

namespace {

constexpr std::size_t kMaxRequestHead = 64 * 1024;
constexpr int kMaxConnections = 512;
constexpr auto kIdleTimeout = std::chrono::seconds(60);
const std::string kControlPrefix = "/.fault-proxy/";
const std::string kLoopMarker = "fault-proxy-loop=";

std::string reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 429:
        return "Too Many Requests";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string head(const Answer& answer, std::size_t declaredLength, bool keepAlive) {
    std::string text = "HTTP/1.1 " + std::to_string(answer.status) + " " + reason(answer.status) +
                       "\r\nContent-Type: " + answer.contentType +
                       "\r\nContent-Length: " + std::to_string(declaredLength) + "\r\n";
    if (!answer.location.empty())
        text += "Location: " + answer.location + "\r\n";
    if (answer.retryAfter)
        text += "Retry-After: 1\r\n";
    text += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return text;
}

Answer plain(int status, std::string body) {
    Answer answer;
    answer.status = status;
    answer.contentType = "text/plain";
    answer.body = std::move(body);
    return answer;
}

std::size_t cutOf(double position, std::size_t size) {
    return std::min(size, static_cast<std::size_t>(position * static_cast<double>(size)));
}

// The path and query of a loop hop, its count, or 0 when the target is no hop.
std::uint64_t loopHop(const std::string& target, std::string& path) {
    const auto marker = target.find("?" + kLoopMarker);
    path = target.substr(0, marker);
    if (marker == std::string::npos)
        return 0;
    return std::strtoull(target.c_str() + marker + 1 + kLoopMarker.size(), nullptr, 10);
}

Answer redirectTo(const std::string& path, std::uint64_t hop) {
    Answer answer = plain(302, "fault-proxy: loop\n");
    answer.location = path + "?" + kLoopMarker + std::to_string(hop);
    return answer;
}

} // namespace

FaultProxy::FaultProxy(ProxyOptions options)
    : options_(std::move(options)), listener_(TcpSocket::listenLoopback(options_.listenPort)),
      schedule_(FaultSchedule(options_.seed, options_.rate, options_.kinds)) {}

void FaultProxy::run() {
    while (true) {
        TcpSocket client = listener_.accept();
        if (!client.valid())
            continue;
        if (activeConnections_.load() >= kMaxConnections) {
            client.reset();
            continue;
        }
        ++activeConnections_;
        std::thread([this, socket = std::move(client)]() mutable {
            serve(std::move(socket));
            --activeConnections_;
        }).detach();
    }
}

void FaultProxy::serve(TcpSocket socket) {
    socket.setReceiveTimeout(kIdleTimeout);
    UpstreamLink upstream(options_.upstreamPort);
    std::string buffer;
    while (const auto request = readRequest(socket, buffer)) {
        if (!handle(socket, *request, upstream))
            return;
    }
}

std::optional<FaultProxy::Request> FaultProxy::readRequest(TcpSocket& socket,
                                                           std::string& buffer) const {
    std::size_t end = std::string::npos;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (buffer.size() > kMaxRequestHead ||
            socket.readSome(buffer) != TcpSocket::ReadStatus::Data)
            return std::nullopt;
    }
    const std::string text = buffer.substr(0, end);
    buffer.erase(0, end + 4); // requests of a mirror client carry no body
    Request request;
    const auto firstSpace = text.find(' ');
    const auto secondSpace = text.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos)
        return std::nullopt;
    request.method = text.substr(0, firstSpace);
    request.target = text.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    const std::string headers = lowercase(text);
    request.keepAlive = headers.find("\r\nconnection: close") == std::string::npos &&
                        headers.find(" http/1.0\r\n") == std::string::npos;
    return request;
}

bool FaultProxy::handle(TcpSocket& socket, const Request& request, UpstreamLink& upstream) {
    if (request.method != "GET" && request.method != "HEAD")
        return sendWithFault(socket, plain(405, "GET only\n"), {}, false);
    if (request.target.rfind(kControlPrefix, 0) == 0) {
        const auto answer = control(request.target);
        return sendWithFault(socket, answer ? *answer : plain(404, "unknown control\n"), {},
                             request.keepAlive);
    }
    std::string path;
    if (const std::uint64_t hop = loopHop(request.target, path); hop > 0)
        return sendWithFault(socket, redirectTo(path, hop + 1), {}, request.keepAlive);
    if (request.method == "HEAD") {
        const Answer answer = upstream.get(request.target);
        return socket.writeAll(head(answer, answer.body.size(), request.keepAlive)) &&
               request.keepAlive;
    }
    const Fault fault = nextFault(request.target);
    if (fault.kind == FaultKind::RedirectLoop) {
        logFault(fault, request.target, 0);
        return sendWithFault(socket, redirectTo(path, 1), {}, request.keepAlive);
    }
    Answer answer = upstream.get(request.target);
    logFault(fault, request.target, answer.body.size());
    return sendWithFault(socket, std::move(answer), fault, request.keepAlive);
}

std::optional<Answer> FaultProxy::control(const std::string& target) {
    const std::string command = target.substr(kControlPrefix.size());
    std::lock_guard lock(mutex_);
    if (command.rfind("seed/", 0) == 0) {
        schedule_.emplace(std::strtoull(command.c_str() + 5, nullptr, 10), options_.rate,
                          options_.kinds);
        attempts_.clear();
        faultCounts_.clear();
        requests_ = 0;
        faults_ = 0;
        return plain(200, "seed " + std::to_string(schedule_->seed()) + "\n");
    }
    if (command == "off") {
        schedule_.reset();
        return plain(200, "off\n");
    }
    if (command == "stats") {
        nlohmann::json stats = {{"requests", requests_}, {"faults", faults_}};
        stats["seed"] = schedule_ ? nlohmann::json(schedule_->seed()) : nlohmann::json();
        stats["kinds"] = faultCounts_;
        Answer answer = plain(200, stats.dump() + "\n");
        answer.contentType = "application/json";
        return answer;
    }
    return std::nullopt;
}

Fault FaultProxy::nextFault(const std::string& target) {
    std::lock_guard lock(mutex_);
    ++requests_;
    if (!schedule_)
        return {};
    const Fault fault = schedule_->decide(target, attempts_[target]++);
    if (fault.kind != FaultKind::None) {
        ++faults_;
        ++faultCounts_[FaultSchedule::name(fault.kind)];
    }
    return fault;
}

void FaultProxy::logFault(const Fault& fault, const std::string& target, std::size_t bodySize) {
    if (fault.kind == FaultKind::None || !options_.log)
        return;
    std::lock_guard lock(mutex_);
    std::fprintf(options_.log, "fault %s %s at %zu of %zu\n",
                 FaultSchedule::name(fault.kind).c_str(), target.c_str(),
                 cutOf(fault.position, bodySize), bodySize);
    std::fflush(options_.log);
}

// False when the connection is over.
bool FaultProxy::sendWithFault(TcpSocket& socket, Answer answer, Fault fault, bool keepAlive) {
    const std::size_t size = answer.body.size();
    const std::size_t cut = cutOf(fault.position, size);
    switch (fault.kind) {
    case FaultKind::None:
    case FaultKind::RedirectLoop: // answered before the mirror is asked
        break;
    case FaultKind::Reset: {
        const std::string whole = head(answer, size, keepAlive) + answer.body;
        socket.writeAll(std::string_view(whole).substr(0, cutOf(fault.position, whole.size())));
        socket.reset();
        return false;
    }
    case FaultKind::Stall: {
        const std::string_view body(answer.body);
        if (!socket.writeAll(head(answer, size, keepAlive)) ||
            !socket.writeAll(body.substr(0, cut)))
            return false;
        std::this_thread::sleep_for(options_.stall);
        return socket.writeAll(body.substr(cut)) && keepAlive;
    }
    case FaultKind::Truncate:
        socket.writeAll(head(answer, size, false) +
                        answer.body.substr(0, size == 0 ? 0 : std::min(cut, size - 1)));
        socket.close();
        return false;
    case FaultKind::Flip:
        if (size > 0)
            answer.body[std::min(cut, size - 1)] ^= static_cast<char>(0xff);
        break;
    case FaultKind::TooMany:
    case FaultKind::TooManyRetry:
    case FaultKind::Unavailable:
    case FaultKind::UnavailableRetry: {
        const bool tooMany =
            fault.kind == FaultKind::TooMany || fault.kind == FaultKind::TooManyRetry;
        answer = plain(tooMany ? 429 : 503, "fault-proxy: busy\n");
        answer.retryAfter =
            fault.kind == FaultKind::TooManyRetry || fault.kind == FaultKind::UnavailableRetry;
        break;
    }
    case FaultKind::LongLength:
        socket.writeAll(head(answer, size + 1 + cut, false) + answer.body);
        socket.close();
        return false;
    case FaultKind::ShortLength:
        // The rest stays on the connection, where the client reads it as the next answer.
        if (size == 0)
            answer.body = "x";
        return socket.writeAll(head(answer, size == 0 ? 0 : cut, keepAlive) + answer.body) &&
               keepAlive;
    }
    return socket.writeAll(head(answer, answer.body.size(), keepAlive) + answer.body) && keepAlive;
}

} // namespace qbk::faultproxy
