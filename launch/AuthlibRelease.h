#pragma once

#include "launch/DownloadCheck.h"

#include <string>
#include <string_view>

namespace qbk {

// The agent jar that authlib-injector's release metadata names, and the check it must pass.
struct AuthlibRelease {
    std::string jarUrl;
    DownloadCheck check; // a SHA-256 when the metadata publishes one, else no digest check

    // False with the reason (UTF-8) when the body names no jar or publishes a checksum that
    // cannot be a SHA-256.
    static bool parse(std::string_view metadata, AuthlibRelease& release, std::string& error);
};

} // namespace qbk
