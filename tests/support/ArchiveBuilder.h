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

    ArchiveBuilder& file(std::string name, std::string content, int mode = 0644);
    ArchiveBuilder& directory(std::string name);
    ArchiveBuilder& symlink(std::string name, std::string target);
    ArchiveBuilder& hardlink(std::string name, std::string target);
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

    RuntimeArchiveFormat format_;
    std::vector<Entry> entries_;
};

// Bytes that do not compress, so archive sizes and truncation points are predictable.
std::string incompressibleBytes(std::size_t size, unsigned seed);

} // namespace qbk::test
