#pragma once

#include "platform/TargetPlatform.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qbk::tool {

// The command line of one qbk-tool run: "<command> --launcher-dir DIR [--target NAME]".
struct ToolOptions {
    std::string command;
    std::filesystem::path launcherDir;
    TargetPlatform target = TargetPlatform::host();

    // False with error set when the arguments do not form a run.
    static bool parse(const std::vector<std::string>& args, ToolOptions& options,
                      std::string& error);
};

} // namespace qbk::tool
