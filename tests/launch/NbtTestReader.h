#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qbk {

// One decoded NBT value of the types a server list uses; only its type's members are filled.
struct NbtTag {
    std::string text;               // String
    std::vector<NbtTag> items;      // List
    std::vector<std::string> names; // Compound: the children's names, in order
    std::vector<NbtTag> children;   // Compound: the children's values
    bool hasChild(const std::string& name) const;
    const NbtTag& child(const std::string& name) const; // throws when absent
};

// Written from the NBT format's description alone, so the writer's bytes are checked by code
// it does not share. The root compound of an uncompressed file; throws when the file is
// unreadable, truncated, malformed or runs on past the root.
struct NbtTestReader {
    static NbtTag readFile(const std::filesystem::path& file, std::string& rootName);
};

} // namespace qbk
