#pragma once

#include <string>
#include <vector>

namespace qbk::standin {

// "-jar <installer> --install-client|--installClient <dir>": writes the version JSON and the
// libraries that the installer jar carries into dir, as the NeoForge installer's client
// install does. Returns the exit code.
int runInstaller(const std::vector<std::string>& args);

} // namespace qbk::standin
