#include "tools/fault-proxy/FaultSchedule.h"

#include <array>
#include <utility>

namespace qbk::faultproxy {

namespace {

constexpr std::array<std::pair<FaultKind, std::string_view>, 11> kNames{{
    {FaultKind::Reset, "reset"},
    {FaultKind::Stall, "stall"},
    {FaultKind::Truncate, "truncate"},
    {FaultKind::Flip, "flip"},
    {FaultKind::TooMany, "429"},
    {FaultKind::TooManyRetry, "429-retry-after"},
    {FaultKind::Unavailable, "503"},
    {FaultKind::UnavailableRetry, "503-retry-after"},
    {FaultKind::RedirectLoop, "redirect-loop"},
    {FaultKind::LongLength, "long-length"},
    {FaultKind::ShortLength, "short-length"},
}};

std::uint64_t splitMix(std::uint64_t value) {
    value += 0x9e3779b97f4a7c15ull;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

std::uint64_t fnv1a(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

double unitInterval(std::uint64_t bits) {
    return static_cast<double>(bits >> 11) / static_cast<double>(1ull << 53);
}

} // namespace

FaultSchedule::FaultSchedule(std::uint64_t seed, double rate, std::vector<FaultKind> kinds)
    : seed_(seed), rate_(rate), kinds_(std::move(kinds)) {}

Fault FaultSchedule::decide(std::string_view path, std::uint64_t attempt) const {
    const std::uint64_t first = splitMix(seed_ ^ splitMix(fnv1a(path) ^ splitMix(attempt)));
    if (kinds_.empty() || unitInterval(first) >= rate_)
        return {};
    const std::uint64_t second = splitMix(first);
    const std::uint64_t third = splitMix(second);
    return {kinds_[second % kinds_.size()], unitInterval(third)};
}

std::vector<FaultKind> FaultSchedule::allKinds() {
    std::vector<FaultKind> kinds;
    for (const auto& [kind, name] : kNames)
        kinds.push_back(kind);
    return kinds;
}

std::string FaultSchedule::name(FaultKind kind) {
    for (const auto& [known, text] : kNames)
        if (known == kind)
            return std::string(text);
    return "none";
}

std::optional<FaultKind> FaultSchedule::fromName(std::string_view name) {
    for (const auto& [kind, text] : kNames)
        if (text == name)
            return kind;
    return std::nullopt;
}

std::optional<std::vector<FaultKind>> FaultSchedule::parseList(std::string_view names) {
    if (names == "all")
        return allKinds();
    std::vector<FaultKind> kinds;
    while (!names.empty()) {
        const auto comma = names.find(',');
        const auto kind = fromName(names.substr(0, comma));
        if (!kind)
            return std::nullopt;
        kinds.push_back(*kind);
        names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
    }
    if (kinds.empty())
        return std::nullopt;
    return kinds;
}

} // namespace qbk::faultproxy
