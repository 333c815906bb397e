#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>

// QBK_FUZZ(input) { ... } defines the target's body over the input's bytes as text.
#define QBK_FUZZ(input)                                                                            \
    using qbk::fuzz::must;                                                                         \
    static void fuzzOne(std::string_view input);                                                   \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {            \
        fuzzOne({reinterpret_cast<const char*>(data), size});                                      \
        return 0;                                                                                  \
    }                                                                                              \
    static void fuzzOne(std::string_view input)

namespace qbk::fuzz {

// A property that does not hold stops the run with a crash report.
inline void must(bool holds) {
    if (!holds)
        std::abort();
}

} // namespace qbk::fuzz
