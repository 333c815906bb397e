#pragma once

#include "launch/TransferWatch.h"
#include "platform/TargetPlatform.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace qbk {

// Whole-tree extraction of a runtime archive, all or nothing: the entries are written into a
// staging folder beside destDir, which becomes destDir only when every entry was written.
// A damaged, truncated or unsafe archive (an entry or link reaching outside destDir) leaves
// destDir untouched. destDir must not exist or be empty. POSIX permission bits are kept and
// relative links that stay inside are kept. On failure error (when given) says why.
bool extractZip(const std::filesystem::path& zipPath, const std::filesystem::path& destDir,
                std::string* error = nullptr);
bool extractTarGz(const std::filesystem::path& archivePath, const std::filesystem::path& destDir,
                  std::string* error = nullptr);
// The one of the two that the target's runtime archive needs. A stop that the watch (when
// given) asks for is seen between entries and between blocks of one entry: the extraction
// then fails as above, with kStoppedText as the error.
bool extractRuntimeArchive(const std::filesystem::path& archivePath,
                           const std::filesystem::path& destDir, RuntimeArchiveFormat format,
                           std::string* error = nullptr, const TransferWatch* watch = nullptr);

// Writes every ".jar" file of a zip (any case, not starting with "._") directly into destDir,
// dropping the folders inside the archive. A later entry with the same name overwrites the
// earlier one; an entry that cannot be written is skipped. Returns the number of files
// written, or -1 when the archive cannot be opened (destDir is then not created).
int extractJarsFlat(const std::filesystem::path& zipPath, const std::filesystem::path& destDir);

// 40 lower-case hex digits of the file's SHA-1; empty when it cannot be read to the end.
std::string sha1FileHex(const std::filesystem::path& file);

// The characters after the last "/" or "\"; the whole text when it holds neither.
std::string fileNameOf(std::string_view path);

} // namespace qbk
