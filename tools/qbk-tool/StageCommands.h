#pragma once

#include "tools/qbk-tool/ToolOptions.h"

namespace qbk::tool {

// install-neoforge: the pinned NeoForge on top of the installed vanilla game, with the
// launcher's runtime. sync-mods: the account server's mod manifest into minecraft/mods.
// Same conventions as the other stages: progress on standard error, one JSON summary on
// standard output, exit code 0 on success.
int installNeoForge(const ToolOptions& options);
int syncMods(const ToolOptions& options);

} // namespace qbk::tool
