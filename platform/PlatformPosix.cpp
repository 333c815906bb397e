#include "platform/Platform.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qbk::platform {

fs::path executablePath() {
    // readlink does not say how long the target is: grow until it fits.
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            return fs::path(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::uint64_t> totalPhysicalMemoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

bool createDirectories(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    return fs::is_directory(dir, ec);
}

bool pathExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

bool isDirectory(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::optional<std::uint64_t> fileSize(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool removeFile(const fs::path& path) {
    if (::unlink(path.c_str()) == 0)
        return true;
    return errno == ENOENT;
}

bool moveReplace(const fs::path& from, const fs::path& to) {
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    if (errno != EXDEV)
        return false;
    // Another volume: copy beside the target, then rename over it, so the target is
    // either the old file or the complete new one.
    std::error_code ec;
    fs::path staging = to;
    staging += ".qbk-move";
    fs::remove_all(staging, ec);
    fs::copy(from, staging, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec || ::rename(staging.c_str(), to.c_str()) != 0) {
        fs::remove_all(staging, ec);
        return false;
    }
    fs::remove_all(from, ec);
    return true;
}

int lastSystemError() {
    return errno;
}

bool removeTree(const fs::path& dir) {
    std::error_code ec;
    fs::remove_all(dir, ec);
    return !pathExists(dir);
}

std::vector<DirEntry> listDirectory(const fs::path& dir) {
    std::vector<DirEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        DirEntry entry;
        entry.name = it->path().filename();
        entry.isDirectory = it->is_directory(ec);
        if (!entry.isDirectory) {
            const auto size = it->file_size(ec);
            entry.size = ec ? 0 : size;
        }
        ec.clear();
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool restrictToOwner(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    const bool restricted = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    return ::close(fd) == 0 && restricted;
}

std::FILE* openFile(const fs::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::string pathToUtf8(const fs::path& path) {
    return path.native();
}

fs::path pathFromUtf8(std::string_view utf8) {
    return fs::path(std::string(utf8));
}

std::string systemRootCertificatesPem() {
    // The system's bundle file serves here (launch/CaBundle).
    return {};
}

} // namespace qbk::platform
