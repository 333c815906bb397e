#pragma once

// The only seam to the operating system. Everything else in the launcher calls these
// functions instead of including an OS header; PlatformPosix.cpp and PlatformWindows.cpp
// implement them.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qbk::platform {

namespace fs = std::filesystem;

// Full path of the running executable, however long it is; empty when the OS cannot say.
fs::path executablePath();

// Total physical memory of the machine in bytes; nullopt when the query fails.
std::optional<std::uint64_t> totalPhysicalMemoryBytes();

// Creates the directory with every missing level. True when it exists afterwards.
bool createDirectories(const fs::path& dir);

bool pathExists(const fs::path& path);
bool isDirectory(const fs::path& path);

// Size of a regular file from its attributes, without opening it.
std::optional<std::uint64_t> fileSize(const fs::path& path);

// Deletes one file; true when it is gone afterwards (also when it never existed).
bool removeFile(const fs::path& path);

// Moves a file or folder, replacing an existing file at the target, copying across
// volumes where a rename cannot. The target is never left half-written.
bool moveReplace(const fs::path& from, const fs::path& to);

// The operating system's code of the latest failed call on this thread (errno, GetLastError).
int lastSystemError();

// Removes a folder with everything below it; true when it is gone afterwards.
bool removeTree(const fs::path& dir);

struct DirEntry {
    fs::path name; // the last component only
    bool isDirectory = false;
    std::uint64_t size = 0;
};

// The entries of one folder (no "." or ".."), in no particular order; empty when unreadable.
std::vector<DirEntry> listDirectory(const fs::path& dir);

// Opens a file with a C stdio mode ("rb", "wb", "ab"); wide-path safe on Windows.
std::FILE* openFile(const fs::path& path, const char* mode);

// Makes a file readable and writable by its owner only (mode 0600 on POSIX), creating it
// empty when missing, before secrets are written into it. On Windows the file keeps the ACL
// it inherits from the user's folder. True when the file exists with that access afterwards.
bool restrictToOwner(const fs::path& file);

// The system's trusted root certificates as PEM blocks: the Windows ROOT store, since
// Schannel in libcurl takes a CA blob instead of the store once extra roots are added. Empty
// on POSIX, where a bundle file holds them, and when the store cannot be read.
std::string systemRootCertificatesPem();

// Text conversions at the seams. A failed or empty conversion gives an empty result.
std::wstring utf8ToWide(std::string_view utf8);
std::string wideToUtf8(std::wstring_view wide);

// A path as UTF-8 text for messages and logs, and back.
std::string pathToUtf8(const fs::path& path);
fs::path pathFromUtf8(std::string_view utf8);

} // namespace qbk::platform
