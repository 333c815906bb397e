// qbk-tool: runs single stages of the launcher against a launcher directory, for developers,
// benchmarks and operators. The launcher itself takes no command-line options.

#include "tools/qbk-tool/Commands.h"
#include "tools/qbk-tool/PlayCommands.h"
#include "tools/qbk-tool/StageCommands.h"

#include <iostream>

namespace {

constexpr const char* kUsage =
    "usage: qbk-tool install-vanilla|install-java|install-neoforge|sync-mods --launcher-dir DIR "
    "[--target windows|linux]\n";

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // These parse options of their own.
    if (!args.empty() && args[0] == "servers-dat")
        return qbk::tool::serversDat(args);
    if (!args.empty() && args[0] == "profile")
        return qbk::tool::profile(args);
    qbk::tool::ToolOptions options;
    std::string error;
    if (!qbk::tool::ToolOptions::parse(args, options, error)) {
        std::cerr << "qbk-tool: " << error << '\n' << kUsage;
        return 2;
    }
    if (options.command == "install-vanilla")
        return qbk::tool::installVanilla(options);
    if (options.command == "install-java")
        return qbk::tool::installJava(options);
    if (options.command == "install-neoforge")
        return qbk::tool::installNeoForge(options);
    if (options.command == "sync-mods")
        return qbk::tool::syncMods(options);
    std::cerr << "qbk-tool: unknown command " << options.command << '\n' << kUsage;
    return 2;
}
