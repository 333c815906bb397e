#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
namespace qbk::test {
// The bytes of a whole file; empty when it cannot be read.
inline std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
// Replaces the file with the bytes, creating missing parent folders.
inline void writeWholeFile(const std::filesystem::path& path, const std::string& bytes) {
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}
} // namespace qbk::test
