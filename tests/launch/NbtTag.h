#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qbk {

// One decoded NBT value; only the members of its type are filled.
struct NbtTag {
    int type = 0;
    std::int64_t integer = 0;                             // Byte, Short, Int, Long
    std::string text;                                     // String
    std::vector<NbtTag> items;                            // List
    std::vector<std::pair<std::string, NbtTag>> children; // Compound

    NbtTag() = default;
    NbtTag(const NbtTag&) = default;
    NbtTag(NbtTag&&) = default;
    NbtTag& operator=(const NbtTag&) = default;
    NbtTag& operator=(NbtTag&&) = default;
    ~NbtTag();

    const NbtTag& child(const std::string& name) const;
    bool hasChild(const std::string& name) const;
};

// Defined after the struct: with clang, a destructor defined inside would need the children's
// pair type complete while that type is still being instantiated.
inline NbtTag::~NbtTag() = default;

inline const NbtTag& NbtTag::child(const std::string& name) const {
    for (const auto& [childName, tag] : children)
        if (childName == name)
            return tag;
    throw std::runtime_error("no child " + name);
}

inline bool NbtTag::hasChild(const std::string& name) const {
    for (const auto& entry : children)
        if (entry.first == name)
            return true;
    return false;
}

} // namespace qbk
