#pragma once
#include <filesystem>
#include <string>
namespace qbk::test {
// A fresh folder below the system's temporary directory, removed with everything in it when
// the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "qbk-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& child) const {
        return path_ / child;
    }

private:
    std::filesystem::path path_;
};
} // namespace qbk::test
