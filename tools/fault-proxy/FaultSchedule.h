#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qbk::faultproxy {

enum class FaultKind {
    None,
    Reset,        // abortive close at a point inside the answer (possibly before any byte)
    Stall,        // the answer pauses at a point inside the body, then goes on
    Truncate,     // the body stops early and the connection closes
    Flip,         // one body byte is inverted, headers and length stay right
    TooMany,      // 429 without Retry-After
    TooManyRetry, // 429 with Retry-After
    Unavailable,  // 503 without Retry-After
    UnavailableRetry,
    RedirectLoop, // 302 to the same path, again and again
    LongLength,   // Content-Length above the body, then close
    ShortLength,  // Content-Length below the body, the rest left on the connection
};

struct Fault {
    FaultKind kind = FaultKind::None;
    // Where in the answer the fault bites, as a fraction of the body in [0, 1).
    double position = 0.0;
};

// Decides each request's fault from the seed, the request path and how often that path was
// asked before, so a seed reproduces the same faults whatever order the threads take.
class FaultSchedule {
public:
    FaultSchedule(std::uint64_t seed, double rate, std::vector<FaultKind> kinds);

    Fault decide(std::string_view path, std::uint64_t attempt) const;

    std::uint64_t seed() const { return seed_; }

    static std::vector<FaultKind> allKinds();
    static std::string name(FaultKind kind);
    static std::optional<FaultKind> fromName(std::string_view name);
    // A comma-separated list of names; nullopt when one is unknown or the list is empty.
    static std::optional<std::vector<FaultKind>> parseList(std::string_view names);

private:
    std::uint64_t seed_;
    double rate_;
    std::vector<FaultKind> kinds_;
};

} // namespace qbk::faultproxy
