#include "mods/ZipUtils.h"

#include "mods/ArchiveEntryPath.h"
#include "mods/GzipStream.h"
#include "platform/Digest.h"
#include "platform/Platform.h"

#include <archive.h>
#include <archive_entry.h>
#include <memory>
#include <set>
#include <vector>

namespace qbk {

namespace {

using Path = std::filesystem::path;

constexpr std::size_t kReadBlockSize = 1 << 20;
// libarchive's code for failures that have no errno.
constexpr int kArchiveMiscError = -1;

struct ReaderFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterFree {
    void operator()(archive* a) const { archive_write_free(a); }
};
using Reader = std::unique_ptr<archive, ReaderFree>;
using Writer = std::unique_ptr<archive, WriterFree>;

// libarchive takes narrow paths on POSIX and wide ones on Windows; overloads on the native
// string type pick the right call without converting through the C locale.
[[maybe_unused]] int openFileNamed(archive* a, const std::string& path) {
    return archive_read_open_filename(a, path.c_str(), kReadBlockSize);
}
[[maybe_unused]] int openFileNamed(archive* a, const std::wstring& path) {
    return archive_read_open_filename_w(a, path.c_str(), kReadBlockSize);
}
[[maybe_unused]] void setPathname(archive_entry* e, const std::string& path) {
    archive_entry_copy_pathname(e, path.c_str());
}
[[maybe_unused]] void setPathname(archive_entry* e, const std::wstring& path) {
    archive_entry_copy_pathname_w(e, path.c_str());
}
[[maybe_unused]] void setHardlink(archive_entry* e, const std::string& path) {
    archive_entry_copy_hardlink(e, path.c_str());
}
[[maybe_unused]] void setHardlink(archive_entry* e, const std::wstring& path) {
    archive_entry_copy_hardlink_w(e, path.c_str());
}

std::string archiveMessage(archive* a) {
    const char* text = archive_error_string(a);
    return text ? text : "неизвестная ошибка";
}

std::string textOrEmpty(const char* utf8, const char* local) {
    if (utf8)
        return utf8;
    return local ? local : "";
}

// One of an entry's names (its own, or a link's target) in its three forms.
struct EntryText {
    const wchar_t* (*wide)(archive_entry*);
    const char* (*utf8)(archive_entry*);
    const char* (*local)(archive_entry*);
};
constexpr EntryText kPathname{archive_entry_pathname_w, archive_entry_pathname_utf8,
                              archive_entry_pathname};
constexpr EntryText kSymlink{archive_entry_symlink_w, archive_entry_symlink_utf8,
                             archive_entry_symlink};
constexpr EntryText kHardlink{archive_entry_hardlink_w, archive_entry_hardlink_utf8,
                              archive_entry_hardlink};

std::string entryText(archive_entry* e, const EntryText& text) {
#ifdef _WIN32
    // The Windows reader keeps names wide; its narrow forms fail outside the ANSI code page.
    if (const wchar_t* wide = text.wide(e))
        return platform::pathToUtf8(Path(wide));
#endif
    return textOrEmpty(text.utf8(e), text.local(e));
}

std::string entryName(archive_entry* e) {
    return entryText(e, kPathname);
}

la_ssize_t readGzip(archive* a, void* stream, const void** block) {
    auto* gzip = static_cast<GzipStream*>(stream);
    const long long n = gzip->read(block);
    if (n < 0)
        archive_set_error(a, kArchiveMiscError, "%s", gzip->error().c_str());
    return static_cast<la_ssize_t>(n);
}

// An open archive; the gzip stream, when there is one, outlives the reader that pulls from it.
struct OpenArchive {
    std::unique_ptr<GzipStream> gzip;
    Reader reader;
};

bool openZip(OpenArchive& open, const Path& path) {
    // The seekable reader starts from the central directory, so an archive without one
    // (truncated, or not a zip) fails here instead of half-way through.
    archive_read_support_format_zip_seekable(open.reader.get());
    return openFileNamed(open.reader.get(), path.native()) == ARCHIVE_OK;
}

bool openTarGz(OpenArchive& open, const Path& path) {
    std::FILE* file = platform::openFile(path, "rb");
    if (!file) {
        archive_set_error(open.reader.get(), kArchiveMiscError, "файл не открывается");
        return false;
    }
    open.gzip = std::make_unique<GzipStream>(file);
    archive_read_support_format_tar(open.reader.get());
#ifdef _WIN32
    // Names are UTF-8 bytes; Windows would read them in the ANSI code page.
    archive_read_set_options(open.reader.get(), "tar:hdrcharset=UTF-8");
#endif
    return archive_read_open(open.reader.get(), open.gzip.get(), nullptr, readGzip, nullptr) ==
           ARCHIVE_OK;
}

bool openArchive(OpenArchive& open, const Path& path, RuntimeArchiveFormat format,
                 std::string& error) {
    open.reader.reset(archive_read_new());
    const bool opened =
        format == RuntimeArchiveFormat::Zip ? openZip(open, path) : openTarGz(open, path);
    if (!opened)
        error = "не удалось открыть архив " + platform::pathToUtf8(path) + ": " +
                archiveMessage(open.reader.get());
    return opened;
}

// Writes one archive's entries below a fresh folder, refusing anything that would reach
// outside it: unsafe names, links pointing out, and entries written through a link.
class TreeExtraction {
public:
    TreeExtraction(archive* reader, Path root, const TransferWatch* watch)
        : reader_(reader), root_(std::move(root)), watch_(watch) {}

    bool run(std::string& error) {
        writer_.reset(archive_write_disk_new());
        // Mode bits are kept under the process umask; set-user-ID, set-group-ID and sticky
        // bits are dropped, as a runtime needs none of them.
        archive_write_disk_set_options(writer_.get(), 0);
        for (;;) {
            if (stopped(error))
                return false;
            archive_entry* entry = nullptr;
            const int status = archive_read_next_header(reader_, &entry);
            if (status == ARCHIVE_EOF)
                break;
            if (status < ARCHIVE_WARN) {
                error = "архив повреждён: " + archiveMessage(reader_);
                return false;
            }
            if (!extractEntry(entry, error))
                return false;
        }
        // Directory permissions and similar fix-ups are applied on close.
        if (archive_write_close(writer_.get()) < ARCHIVE_WARN) {
            error = "не удалось завершить запись: " + archiveMessage(writer_.get());
            return false;
        }
        return true;
    }

private:
    // A runtime's largest entry holds tens of megabytes, so its blocks are checked too.
    bool stopped(std::string& error) const {
        if (!watch_ || !watch_->stopRequested())
            return false;
        error = kStoppedText;
        return true;
    }

    bool extractEntry(archive_entry* entry, std::string& error) {
        const std::string name = entryName(entry);
        const auto path = ArchiveEntryPath::parse(name, error);
        if (!path || !checkNotThroughLink(*path, name, error))
            return false;
        const auto type = archive_entry_filetype(entry);
        const bool hardlink = !entryText(entry, kHardlink).empty();
        if (path->isRoot()) {
            if (type == AE_IFDIR && !hardlink)
                return true;
            error = "пустое имя записи в архиве";
            return false;
        }
        if (hardlink) {
            if (!redirectHardlink(entry, error))
                return false;
        } else if (type == AE_IFLNK) {
            if (!checkSymlink(entry, *path, error))
                return false;
        } else if (type != AE_IFREG && type != AE_IFDIR) {
            error = "недопустимый тип записи в архиве: " + name;
            return false;
        }
        setPathname(entry, path->below(root_).native());
        if (archive_write_header(writer_.get(), entry) < ARCHIVE_WARN) {
            error = "не удалось записать " + name + ": " + archiveMessage(writer_.get());
            return false;
        }
        if (archive_entry_size(entry) > 0 && !copyData(name, error))
            return false;
        if (archive_write_finish_entry(writer_.get()) < ARCHIVE_WARN) {
            error = "не удалось записать " + name + ": " + archiveMessage(writer_.get());
            return false;
        }
        return true;
    }

    // A link's own target is checked separately; an entry below a link or replacing one
    // would let a later entry land wherever the link points.
    bool checkNotThroughLink(const ArchiveEntryPath& path, const std::string& name,
                             std::string& error) const {
        for (std::size_t n = 1; n <= path.components().size(); ++n) {
            if (links_.count(path.foldedKey(n))) {
                error = "запись проходит через ссылку: " + name;
                return false;
            }
        }
        return true;
    }

    bool checkSymlink(archive_entry* entry, const ArchiveEntryPath& path, std::string& error) {
        const std::string target = entryText(entry, kSymlink);
        if (!path.resolveLinkTarget(target, error))
            return false;
        links_.insert(path.foldedKey());
        return true;
    }

    bool redirectHardlink(archive_entry* entry, std::string& error) {
        const std::string targetName = entryText(entry, kHardlink);
        const auto target = ArchiveEntryPath::parse(targetName, error);
        if (!target)
            return false;
        if (target->isRoot()) {
            error = "недопустимая жёсткая ссылка: " + entryName(entry);
            return false;
        }
        // Also refuses a hard link to a symbolic link: the copy's relative target would be
        // read from another folder.
        if (!checkNotThroughLink(*target, targetName, error))
            return false;
        setHardlink(entry, target->below(root_).native());
        return true;
    }

    bool copyData(const std::string& name, std::string& error) {
        for (;;) {
            if (stopped(error))
                return false;
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(reader_, &block, &size, &offset);
            if (status == ARCHIVE_EOF)
                return true;
            // A checksum mismatch comes as a warning; a runtime with damaged bytes must not
            // pass for installed.
            if (status != ARCHIVE_OK) {
                error = "архив повреждён (" + name + "): " + archiveMessage(reader_);
                return false;
            }
            if (archive_write_data_block(writer_.get(), block, size, offset) < ARCHIVE_WARN) {
                error = "не удалось записать " + name + ": " + archiveMessage(writer_.get());
                return false;
            }
        }
    }

    archive* reader_;
    Writer writer_;
    Path root_;
    const TransferWatch* watch_;
    std::set<std::string> links_;
};

Path withoutTrailingSeparator(const Path& dir) {
    std::error_code ec;
    Path absolute = std::filesystem::absolute(dir, ec);
    Path normal = (ec ? dir : absolute).lexically_normal();
    return normal.has_filename() ? normal : normal.parent_path();
}

bool isEmptyOrAbsent(const Path& dir) {
    if (!platform::pathExists(dir))
        return true;
    return platform::isDirectory(dir) && platform::listDirectory(dir).empty();
}

bool extractTree(const Path& archivePath, const Path& destDir, RuntimeArchiveFormat format,
                 std::string* errorOut, const TransferWatch* watch = nullptr) {
    std::string error;
    auto fail = [&](const std::string& text) {
        if (errorOut)
            *errorOut = text;
        return false;
    };
    const Path dest = withoutTrailingSeparator(destDir);
    if (!isEmptyOrAbsent(dest))
        return fail("папка распаковки не пуста: " + platform::pathToUtf8(dest));
    OpenArchive open;
    if (!openArchive(open, archivePath, format, error))
        return fail(error);

    Path staging = dest;
    staging += ".partial";
    platform::removeTree(staging);
    if (!platform::createDirectories(staging))
        return fail("не удалось создать папку " + platform::pathToUtf8(staging));
    bool extracted = false;
    {
        // The disk writer closes its open entry here: Windows cannot remove a folder while
        // a file in it is open.
        TreeExtraction extraction(open.reader.get(), staging, watch);
        extracted = extraction.run(error);
    }
    open.reader.reset();
    if (extracted && open.gzip && !open.gzip->drain()) {
        extracted = false;
        error = "архив повреждён: " + open.gzip->error();
    }
    if (extracted) {
        platform::removeTree(dest); // empty or absent, checked above
        if (platform::moveReplace(staging, dest))
            return true;
        error = "не удалось перенести " + platform::pathToUtf8(staging) + " в " +
                platform::pathToUtf8(dest);
    }
    platform::removeTree(staging);
    return fail(error);
}

bool endsWithJar(const std::string& name) {
    if (name.size() < 4)
        return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return tail == ".jar";
}

// A bare ".jar" would land as a hidden file with no name to show or compare.
bool isUsableJarName(const std::string& name) {
    return name.size() > 4 && endsWithJar(name) && name.rfind("._", 0) != 0 &&
           name.find(':') == std::string::npos;
}

bool writeEntryToFile(archive* reader, const Path& target) {
    std::FILE* file = platform::openFile(target, "wb");
    if (!file)
        return false;
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        const la_ssize_t n = archive_read_data(reader, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0 || std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), file) !=
                         static_cast<std::size_t>(n)) {
            ok = false;
            break;
        }
    }
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        platform::removeFile(target);
    return ok;
}

} // namespace

bool extractZip(const Path& zipPath, const Path& destDir, std::string* error) {
    return extractTree(zipPath, destDir, RuntimeArchiveFormat::Zip, error);
}

bool extractTarGz(const Path& archivePath, const Path& destDir, std::string* error) {
    return extractTree(archivePath, destDir, RuntimeArchiveFormat::TarGz, error);
}

bool extractRuntimeArchive(const Path& archivePath, const Path& destDir,
                           RuntimeArchiveFormat format, std::string* error,
                           const TransferWatch* watch) {
    return extractTree(archivePath, destDir, format, error, watch);
}

int extractJarsFlat(const Path& zipPath, const Path& destDir) {
    std::string error;
    OpenArchive open;
    if (!openArchive(open, zipPath, RuntimeArchiveFormat::Zip, error))
        return -1;
    archive* reader = open.reader.get();
    platform::createDirectories(destDir);
    int count = 0;
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF || status < ARCHIVE_WARN)
            break;
        if (archive_entry_filetype(entry) != AE_IFREG)
            continue;
        const std::string name = fileNameOf(entryName(entry));
        if (!isUsableJarName(name))
            continue;
        if (writeEntryToFile(reader, destDir / platform::pathFromUtf8(name)))
            ++count;
    }
    return count;
}

std::string sha1FileHex(const Path& file) {
    return platform::hashFileHex(file, platform::HashAlgorithm::Sha1);
}

std::string fileNameOf(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace qbk
