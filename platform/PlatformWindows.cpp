#include "platform/Platform.h"

#include <cwchar>
#include <system_error>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// shlobj.h and wincrypt.h need the base types of windows.h first.
#include <shlobj.h>
#include <wincrypt.h>

namespace qbk::platform {

namespace {

// Absolute paths get the \\?\ prefix so that folders deeper than MAX_PATH still work. That
// form skips the system's own clean-up of "." and "..", so the path is made normal first.
std::wstring longPath(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec).lexically_normal();
    fs::path chosen = ec ? path : absolute;
    std::wstring text = chosen.make_preferred().native();
    if (text.rfind(L"\\\\?\\", 0) == 0)
        return text;
    if (text.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + text.substr(2);
    return L"\\\\?\\" + text;
}

} // namespace

fs::path executablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        // A full buffer means the name was cut: grow and ask again.
        if (n < buffer.size()) {
            buffer.resize(n);
            return fs::path(buffer);
        }
        if (buffer.size() >= 32768 * 2)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::uint64_t> totalPhysicalMemoryBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!::GlobalMemoryStatusEx(&status))
        return std::nullopt;
    return status.ullTotalPhys;
}

bool createDirectories(const fs::path& dir) {
    if (isDirectory(dir))
        return true;
    std::error_code ec;
    const fs::path absolute = fs::absolute(dir, ec).lexically_normal().make_preferred();
    // The shell call takes neither the \\?\ form nor names past its own limit of 248
    // characters; deeper folders are made level by level with CreateDirectoryW.
    if (!ec && absolute.native().size() < 248) {
        ::SHCreateDirectoryExW(nullptr, absolute.c_str(), nullptr);
        return isDirectory(dir);
    }
    fs::path level;
    for (const fs::path& part : ec ? dir : absolute) {
        level /= part;
        if (level == level.root_path() || isDirectory(level))
            continue;
        ::CreateDirectoryW(longPath(level).c_str(), nullptr);
    }
    return isDirectory(dir);
}

bool pathExists(const fs::path& path) {
    return ::GetFileAttributesW(longPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const fs::path& path) {
    const DWORD attributes = ::GetFileAttributesW(longPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::uint64_t> fileSize(const fs::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(longPath(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

namespace {

// A file that a child process wrote can stay locked for a moment after the child ended (Wine
// shows it; a virus scanner does it on Windows), so a sharing violation is waited out briefly.
bool deleteFile(const std::wstring& target) {
    for (int retry = 0;; ++retry) {
        if (::DeleteFileW(target.c_str()))
            return true;
        if (::GetLastError() != ERROR_SHARING_VIOLATION || retry == 10)
            return false;
        ::Sleep(50);
    }
}

} // namespace

bool removeFile(const fs::path& path) {
    const std::wstring target = longPath(path);
    if (deleteFile(target))
        return true;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool moveReplace(const fs::path& from, const fs::path& to) {
    const std::wstring source = longPath(from);
    const std::wstring target = longPath(to);
    if (!isDirectory(from))
        return ::MoveFileExW(source.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED |
                                 MOVEFILE_WRITE_THROUGH) != 0;
    // Folders take neither the replace nor the copy flag: rename on one volume, else copy
    // the tree beside the target and rename that into place.
    if (::MoveFileExW(source.c_str(), target.c_str(), 0))
        return true;
    if (::GetLastError() != ERROR_NOT_SAME_DEVICE)
        return false;
    std::error_code ec;
    const fs::path staging = fs::path(target + L".qbk-move");
    fs::remove_all(staging, ec);
    fs::copy(fs::path(source), staging, fs::copy_options::recursive, ec);
    if (ec || !::MoveFileExW(staging.c_str(), target.c_str(), 0)) {
        fs::remove_all(staging, ec);
        return false;
    }
    fs::remove_all(fs::path(source), ec);
    return true;
}

int lastSystemError() {
    return static_cast<int>(::GetLastError());
}

namespace {

bool isReparsePoint(const std::wstring& longForm) {
    const DWORD attributes = ::GetFileAttributesW(longForm.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace

// The standard library's remove_all stops at MAX_PATH below the top; this walks with the
// long form at every level. Read-only files are made writable first, as Explorer does. A
// junction or symbolic link is removed itself, never walked: its target lies outside the tree.
bool removeTree(const fs::path& dir) {
    if (!isDirectory(dir))
        return removeFile(dir);
    if (isReparsePoint(longPath(dir))) {
        ::RemoveDirectoryW(longPath(dir).c_str());
        return !pathExists(dir);
    }
    for (const DirEntry& entry : listDirectory(dir)) {
        const fs::path child = dir / entry.name;
        if (entry.isDirectory) {
            removeTree(child);
            continue;
        }
        const std::wstring target = longPath(child);
        ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        deleteFile(target);
    }
    ::RemoveDirectoryW(longPath(dir).c_str());
    return !pathExists(dir);
}

std::vector<DirEntry> listDirectory(const fs::path& dir) {
    std::vector<DirEntry> entries;
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = longPath(dir) + L"\\*";
    HANDLE find = ::FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        DirEntry entry;
        entry.name = fs::path(name);
        entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entries.push_back(std::move(entry));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return entries;
}

bool restrictToOwner(const fs::path& file) {
    std::FILE* created = openFile(file, "ab");
    return created && std::fclose(created) == 0;
}

std::FILE* openFile(const fs::path& path, const char* mode) {
    return ::_wfopen(longPath(path).c_str(), utf8ToWide(mode).c_str());
}

std::wstring utf8ToWide(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                        static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                          wide.data(), n);
    return wide;
}

std::string wideToUtf8(std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                              static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), static_cast<int>(wide.size()),
                          utf8.data(), n, nullptr, nullptr);
    return utf8;
}

std::string pathToUtf8(const fs::path& path) {
    return wideToUtf8(path.native());
}

fs::path pathFromUtf8(std::string_view utf8) {
    return fs::path(utf8ToWide(utf8));
}

std::string systemRootCertificatesPem() {
    // The current user's view of the trusted roots, which includes the machine's.
    HCERTSTORE store = ::CertOpenSystemStoreW(0, L"ROOT");
    if (!store)
        return {};
    std::string pem;
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = ::CertEnumCertificatesInStore(store, cert)) != nullptr) {
        DWORD size = 0;
        const DWORD flags = CRYPT_STRING_BASE64HEADER;
        if (!::CryptBinaryToStringA(cert->pbCertEncoded, cert->cbCertEncoded, flags, nullptr,
                                    &size))
            continue;
        std::string block(size, '\0');
        if (!::CryptBinaryToStringA(cert->pbCertEncoded, cert->cbCertEncoded, flags, block.data(),
                                    &size))
            continue;
        block.resize(size);
        // CRLF from the API; PEM readers take either.
        pem += block;
    }
    ::CertCloseStore(store, 0);
    return pem;
}

} // namespace qbk::platform
