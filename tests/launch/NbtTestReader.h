#pragma once

#include "tests/launch/NbtTag.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace qbk {

// A reader for the whole NBT format, written from the format's description alone, so the
// writer's bytes are checked by something that does not share its code.
class NbtTestReader {
public:
    explicit NbtTestReader(std::string bytes) : bytes_(std::move(bytes)) {}

    // The root compound of an uncompressed file; throws like readRoot, or when unreadable.
    static NbtTag readFile(const std::filesystem::path& file, std::string& rootName);

    // Throws when the bytes are truncated, malformed or run on past the root.
    NbtTag readRoot(std::string& rootName);

private:
    std::uint64_t number(int width);
    int u8() { return static_cast<int>(number(1)); }
    std::int32_t i32() { return static_cast<std::int32_t>(number(4)); }
    std::string text();
    void skip(std::size_t count);
    NbtTag payload(int type);

    std::string bytes_;
    std::size_t pos_ = 0;
};

} // namespace qbk
