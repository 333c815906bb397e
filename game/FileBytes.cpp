#include "game/FileBytes.h"

#include "platform/Platform.h"

#include <atomic>
#include <cstdio>

namespace qbk {

namespace fs = std::filesystem;

namespace {

// Unique per process and call, so two writers of the same target never share a temp file.
fs::path temporarySibling(const fs::path& path) {
    static std::atomic<unsigned> counter{0};
    fs::path temp = path;
    temp += ".tmp" + std::to_string(++counter);
    return temp;
}

bool writeAll(const fs::path& path, const std::string& bytes) {
    std::FILE* file = platform::openFile(path, "wb");
    if (!file)
        return false;
    const std::size_t written =
        bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return written == bytes.size() && flushed && closed;
}

} // namespace

bool ReadFileBytes(const fs::path& path, std::string& bytes) {
    bytes.clear();
    std::FILE* file = platform::openFile(path, "rb");
    if (!file)
        return false;
    char buffer[64 * 1024];
    bool failed = false;
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
        bytes.append(buffer, got);
        if (got < sizeof buffer) {
            failed = std::ferror(file) != 0;
            break;
        }
    }
    std::fclose(file);
    if (failed)
        bytes.clear();
    return !failed && !bytes.empty();
}

bool WriteFileBytes(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path())
        platform::createDirectories(path.parent_path());
    const fs::path temp = temporarySibling(path);
    if (!writeAll(temp, bytes)) {
        platform::removeFile(temp);
        return false;
    }
    if (!platform::moveReplace(temp, path)) {
        platform::removeFile(temp);
        return false;
    }
    return true;
}

} // namespace qbk
