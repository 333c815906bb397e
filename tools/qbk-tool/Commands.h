#pragma once

#include "tools/qbk-tool/ToolOptions.h"

namespace qbk::tool {

// Each command runs one stage against the launcher directory with the endpoints of its
// Quellbrook.ini, writes progress to standard error and one JSON summary to standard output,
// and returns the process exit code.
int installVanilla(const ToolOptions& options);
int installJava(const ToolOptions& options);

} // namespace qbk::tool
