#pragma once
#include "platform/TargetPlatform.h"

#include <filesystem>
#include <string>
#include <vector>
namespace qbk::test {
// Writes small zip or tar.gz archives with libarchive's writer, including entries that a
// careful extractor must refuse (names and link targets are stored exactly as given).
class ArchiveBuilder {
public:
    explicit ArchiveBuilder(RuntimeArchiveFormat format) : format_(format) {}
    ArchiveBuilder& file(std::string name, std::string content, int mode = 0644) {
        return add(Kind::File, name, content, mode);
    }
    ArchiveBuilder& directory(std::string name) { return add(Kind::Directory, name, {}, 0755); }
    ArchiveBuilder& symlink(std::string name, std::string to) {
        return add(Kind::Symlink, name, to, 0777);
    }
    ArchiveBuilder& hardlink(std::string name, std::string to) {
        return add(Kind::Hardlink, name, to, 0644);
    }
    // True when the archive was written completely.
    bool write(const std::filesystem::path& out) const;

private:
    enum class Kind { File, Directory, Symlink, Hardlink };
    struct Entry {
        Kind kind;
        std::string name;
        std::string content; // file bytes or link target
        int mode;
    };
    ArchiveBuilder& add(Kind kind, std::string name, std::string content, int mode) {
        entries_.push_back({kind, std::move(name), std::move(content), mode});
        return *this;
    }
    RuntimeArchiveFormat format_;
    std::vector<Entry> entries_;
};
// Bytes that do not compress, so archive sizes and truncation points are predictable.
std::string incompressibleBytes(std::size_t size, unsigned seed);
} // namespace qbk::test
