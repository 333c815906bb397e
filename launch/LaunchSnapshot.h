#pragma once

#include "app/Endpoints.h"
#include "game/LaunchOptions.h"
#include "platform/TargetPlatform.h"

#include <filesystem>

namespace qbk {

// Everything one launch needs from the window, the settings and the signed-in session, taken
// on the UI thread at the play press, so the worker thread never reads shared state.
struct LaunchSnapshot {
    std::filesystem::path launcherDir;
    LaunchOptions options; // player name, UUID, access token, maximum and initial memory
    Endpoints endpoints;
    TargetPlatform target = TargetPlatform::host();
};

} // namespace qbk
