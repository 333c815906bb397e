#pragma once

#include <string>

namespace qbk::modrinthstandin {

// Small square icons in one colour per project, as Modrinth's CDN serves PNG and WebP.
class StandinIcons {
public:
    static std::string png(unsigned rgb, int size);
    static std::string webp(unsigned rgb, int size);
};

} // namespace qbk::modrinthstandin
