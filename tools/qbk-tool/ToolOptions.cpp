#include "tools/qbk-tool/ToolOptions.h"

#include "platform/Platform.h"

namespace qbk::tool {

bool ToolOptions::parse(const std::vector<std::string>& args, ToolOptions& options,
                        std::string& error) {
    options = ToolOptions();
    if (args.empty()) {
        error = "no command given";
        return false;
    }
    options.command = args[0];
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) {
            error = "missing value after " + name;
            return false;
        }
        const std::string& value = args[++i];
        if (name == "--launcher-dir") {
            options.launcherDir = platform::pathFromUtf8(value);
        } else if (name == "--target") {
            if (!TargetPlatform::fromName(value, options.target)) {
                error = "unknown target " + value + " (windows or linux)";
                return false;
            }
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    if (options.launcherDir.empty()) {
        error = "--launcher-dir is required";
        return false;
    }
    return true;
}

} // namespace qbk::tool
