#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace qbk::test {

// A fresh folder below the system temp directory, removed with everything in it.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix = "qbk-mods") {
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path() /
                (prefix + "-" + std::to_string(seed()) + std::to_string(seed()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& sub) const { return path_ / sub; }

private:
    std::filesystem::path path_;
};

} // namespace qbk::test
