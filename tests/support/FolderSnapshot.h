#pragma once

#include "tests/support/WholeFile.h"

#include <filesystem>
#include <map>
#include <string>
#include <utility>

namespace qbk::test {

// Every file and folder below dir by relative path, with its write time and bytes: two equal
// snapshots mean nothing below dir was created, removed, written or touched in between.
using FolderSnapshot =
    std::map<std::string, std::pair<std::filesystem::file_time_type, std::string>>;

inline FolderSnapshot snapshotFolder(const std::filesystem::path& dir) {
    FolderSnapshot files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        files[std::filesystem::relative(entry.path(), dir).string()] = {
            entry.last_write_time(), entry.is_regular_file() ? readWholeFile(entry.path()) : ""};
    return files;
}

} // namespace qbk::test
