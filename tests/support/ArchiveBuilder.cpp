#include "tests/support/ArchiveBuilder.h"

#include <archive.h>
#include <archive_entry.h>
#include <memory>
#include <random>
namespace qbk::test {
bool ArchiveBuilder::write(const std::filesystem::path& out) const {
    std::unique_ptr<archive, int (*)(archive*)> writer(archive_write_new(), archive_write_free);
    if (format_ == RuntimeArchiveFormat::Zip) {
        archive_write_set_format_zip(writer.get());
#ifdef _WIN32
        archive_write_set_options(writer.get(), "zip:hdrcharset=UTF-8");
#endif
    } else {
        archive_write_set_format_gnutar(writer.get());
        archive_write_add_filter_gzip(writer.get());
    }
    if (archive_write_open_filename(writer.get(), out.string().c_str()) != ARCHIVE_OK)
        return false;
    for (const Entry& e : entries_) {
        std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                       archive_entry_free);
        // Zip marks names as UTF-8; tar keeps the bytes as they are (the pax writer would
        // convert them through the C locale, which cannot hold Cyrillic).
        (format_ == RuntimeArchiveFormat::Zip
             ? archive_entry_set_pathname_utf8
             : archive_entry_copy_pathname)(entry.get(), e.name.c_str());
#ifdef _WIN32
        // The Windows zip writer reads the wide name; from UTF-8 alone it crashes on Cyrillic.
        if (format_ == RuntimeArchiveFormat::Zip)
            archive_entry_copy_pathname_w(
                entry.get(),
                std::filesystem::path(std::u8string(e.name.begin(), e.name.end())).c_str());
#endif
        archive_entry_set_perm(entry.get(), e.mode);
        archive_entry_set_mtime(entry.get(), 1700000000, 0);
        archive_entry_set_filetype(entry.get(), e.kind == Kind::Directory ? AE_IFDIR
                                                : e.kind == Kind::Symlink ? AE_IFLNK
                                                                          : AE_IFREG);
        if (e.kind == Kind::File)
            archive_entry_set_size(entry.get(), static_cast<la_int64_t>(e.content.size()));
        if (e.kind == Kind::Symlink)
            archive_entry_copy_symlink(entry.get(), e.content.c_str());
        if (e.kind == Kind::Hardlink)
            archive_entry_copy_hardlink(entry.get(), e.content.c_str());
        if (archive_write_header(writer.get(), entry.get()) < ARCHIVE_WARN)
            return false;
        if (e.kind == Kind::File && !e.content.empty() &&
            archive_write_data(writer.get(), e.content.data(), e.content.size()) < 0)
            return false;
    }
    return archive_write_close(writer.get()) == ARCHIVE_OK;
}
std::string incompressibleBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator() & 0xFF);
    return bytes;
}
} // namespace qbk::test
