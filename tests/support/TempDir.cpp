#include "tests/support/TempDir.h"

#include <random>
namespace qbk::test {
TempDir::TempDir(const std::string& prefix) {
    std::mt19937_64 random(std::random_device{}());
    const auto base = std::filesystem::temp_directory_path();
    // A name taken already is tried again under another; any other failure throws.
    do
        path_ = base / (prefix + "-" + std::to_string(random()));
    while (!std::filesystem::create_directory(path_));
}
TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}
} // namespace qbk::test
