#pragma once

#include "launch/TransferLimits.h"

#include <filesystem>
#include <string>

namespace qbk {

// Makes sure the authlib-injector agent is at launcherDir/authlib-injector.jar and returns that
// path; empty when it is not available, with the reason (UTF-8, for the log) in error. A file
// already there is used as it is. Otherwise the latest release named by
// metadataBase + "/artifact/latest.json" is downloaded beside it and renamed into place only
// when complete and, when the metadata publishes a SHA-256, only when it matches.
std::filesystem::path EnsureAuthlibInjector(const std::filesystem::path& launcherDir,
                                            const std::string& metadataBase, std::string& error,
                                            TransferLimits limits = {});

} // namespace qbk
