#include "tests/launch/NbtTestReader.h"

#include "tests/support/WholeFile.h"

#include <stdexcept>
namespace qbk {
namespace {
struct Reader {
    std::string bytes;
    std::size_t pos = 0;
    std::string take(std::uint64_t count) {
        if (count > bytes.size() - pos)
            throw std::runtime_error("truncated");
        pos += count;
        return bytes.substr(pos - count, count);
    }
    std::uint64_t number(int width) { // big-endian
        std::uint64_t value = 0;
        for (const char byte : take(width))
            value = (value << 8) | static_cast<unsigned char>(byte);
        return value;
    }
    NbtTag payload(std::uint64_t type) { // String, List and Compound only
        NbtTag tag;
        if (type == 8)
            tag.text = take(number(2));
        else if (type == 9)
            for (std::uint64_t i = 0, element = number(1), count = number(4); i < count; ++i)
                tag.items.push_back(payload(element));
        else if (type == 10)
            for (std::uint64_t next = number(1); next != 0; next = number(1)) {
                tag.names.push_back(take(number(2)));
                tag.children.push_back(payload(next));
            }
        else
            throw std::runtime_error("unexpected tag type " + std::to_string(type));
        return tag;
    }
};
} // namespace
NbtTag NbtTestReader::readFile(const std::filesystem::path& file, std::string& rootName) {
    Reader reader{test::readWholeFile(file)}; // unreadable: empty, so truncated
    if (reader.number(1) != 10)
        throw std::runtime_error("no root compound in " + file.string());
    rootName = reader.take(reader.number(2));
    NbtTag root = reader.payload(10);
    if (reader.pos != reader.bytes.size())
        throw std::runtime_error("bytes after the root");
    return root;
}
} // namespace qbk
