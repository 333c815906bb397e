#pragma once

#include <filesystem>
#include <string>

namespace qbk {

// The project's server icon (":/server-icon.png") as standard Base64 text; empty when the
// compiled-in resources are not registered or the icon cannot be read.
std::string LoadServerIconBase64();

// Replaces gameDir/servers.dat with an uncompressed NBT server list holding one entry. The
// icon tag is left out when iconBase64 is empty. False, and the old file kept, when a value
// does not fit NBT's 16-bit length or the file cannot be written.
bool WriteServersDat(const std::filesystem::path& gameDir, const std::string& name,
                     const std::string& address, const std::string& iconBase64);

} // namespace qbk
