#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

namespace qbk::fuzz {

// A property that does not hold stops the run with a crash report.
inline void must(bool holds) {
    if (!holds)
        std::abort();
}

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A folder of this run's own below the temporary directory.
inline const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        const auto made = std::filesystem::temp_directory_path() /
                          ("qbk-fuzz-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(made);
        return made;
    }();
    return dir;
}

} // namespace qbk::fuzz
