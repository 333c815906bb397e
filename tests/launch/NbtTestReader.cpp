#include "tests/launch/NbtTestReader.h"

#include <fstream>
#include <iterator>

namespace qbk {

NbtTag NbtTestReader::readFile(const std::filesystem::path& file, std::string& rootName) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + file.string());
    NbtTestReader reader({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
    return reader.readRoot(rootName);
}

NbtTag NbtTestReader::readRoot(std::string& rootName) {
    if (u8() != 10)
        throw std::runtime_error("root is not a compound");
    rootName = text();
    NbtTag root = payload(10);
    if (pos_ != bytes_.size())
        throw std::runtime_error("bytes after the root");
    return root;
}

std::uint64_t NbtTestReader::number(int width) {
    if (pos_ + width > bytes_.size())
        throw std::runtime_error("truncated");
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes_[pos_++]);
    return value;
}

std::string NbtTestReader::text() {
    const auto length = static_cast<std::size_t>(number(2));
    if (pos_ + length > bytes_.size())
        throw std::runtime_error("truncated string");
    std::string value = bytes_.substr(pos_, length);
    pos_ += length;
    return value;
}

void NbtTestReader::skip(std::size_t count) {
    if (pos_ + count > bytes_.size())
        throw std::runtime_error("truncated array");
    pos_ += count;
}

NbtTag NbtTestReader::payload(int type) {
    NbtTag tag;
    tag.type = type;
    switch (type) {
    case 1:
        tag.integer = static_cast<std::int8_t>(number(1));
        break;
    case 2:
        tag.integer = static_cast<std::int16_t>(number(2));
        break;
    case 3:
        tag.integer = i32();
        break;
    case 4:
        tag.integer = static_cast<std::int64_t>(number(8));
        break;
    case 5:
        number(4);
        break;
    case 6:
        number(8);
        break;
    case 7:
        skip(static_cast<std::size_t>(i32()));
        break;
    case 8:
        tag.text = text();
        break;
    case 9: {
        const int elementType = u8();
        const std::int32_t count = i32();
        for (std::int32_t i = 0; i < count; ++i)
            tag.items.push_back(payload(elementType));
        break;
    }
    case 10:
        for (int childType = u8(); childType != 0; childType = u8()) {
            std::string name = text();
            tag.children.emplace_back(std::move(name), payload(childType));
        }
        break;
    case 11:
        skip(4u * static_cast<std::size_t>(i32()));
        break;
    case 12:
        skip(8u * static_cast<std::size_t>(i32()));
        break;
    default:
        throw std::runtime_error("unknown tag type " + std::to_string(type));
    }
    return tag;
}

} // namespace qbk
