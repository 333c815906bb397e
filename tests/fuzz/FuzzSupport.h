#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
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

// A folder of this run's own below the temporary directory.
inline const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                             ("qbk-fuzz-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace qbk::fuzz
