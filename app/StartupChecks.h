#pragma once

#include <filesystem>
#include <string>

namespace qbk {

// True when the folder exists afterwards (missing levels are created) and a file can be
// written in it; checked once at start so a read-only install fails before any download.
bool prepareWritableFolder(const std::filesystem::path& dir);

// Adds the certificates of a PEM file (UTF-8 path) to Qt's default TLS configuration, on top
// of the system's. Returns how many were added; 0 for an empty path, an unreadable file or a
// Qt without TLS.
int trustExtraCertificates(const std::string& pemFile);

} // namespace qbk
