#include "tests/support/TempDir.h"

#include <random>
#include <stdexcept>
#include <system_error>
namespace qbk::test {
TempDir::TempDir(const std::string& prefix) {
    std::mt19937_64 random(std::random_device{}());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / (prefix + "-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = std::move(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder below " + base.string());
}
TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}
} // namespace qbk::test
