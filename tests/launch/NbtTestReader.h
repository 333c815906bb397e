#pragma once
#include <algorithm>
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
    bool hasChild(const std::string& name) const {
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    const NbtTag& child(const std::string& name) const { // throws when absent
        return children.at(std::find(names.begin(), names.end(), name) - names.begin());
    }
};
// Written from the NBT format alone, sharing no code with the writer: the root compound of an
// uncompressed file; throws when it is unreadable, truncated, malformed or runs on past the root.
struct NbtTestReader {
    static NbtTag readFile(const std::filesystem::path& file, std::string& rootName);
};
} // namespace qbk
