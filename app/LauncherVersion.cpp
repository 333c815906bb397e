#include "app/ProjectInfo.h"

// Compiled into each executable (and, as a fallback, into app_version), so that one set of
// libraries serves launchers of different version numbers.
#ifndef QBK_LAUNCHER_VERSION
#define QBK_LAUNCHER_VERSION "1.0.0"
#endif

std::string_view qbk::project::launcherVersion() {
    return QBK_LAUNCHER_VERSION;
}
