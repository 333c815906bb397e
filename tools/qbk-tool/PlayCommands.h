#pragma once

#include <string>
#include <vector>

namespace qbk::tool {

// Subcommands of the play path that take options beyond --launcher-dir and --target; each
// gets the whole argument list (command first) and returns the process exit code.

// servers-dat --launcher-dir DIR: writes DIR/minecraft/servers.dat with the project's server
// (the INI's game server address and the compiled-in icon); prints a JSON summary.
int serversDat(const std::vector<std::string>& args);

// profile --launcher-dir DIR [--target T] [--player NAME] [--uuid UUID] [--token TOKEN]
//         [--max-ram MB] [--min-ram MB]: prints the launch profile of the installed game,
// the agent argument appended, as {"mainClass", "jvmArgs", "gameArgs"}.
int profile(const std::vector<std::string>& args);

} // namespace qbk::tool
