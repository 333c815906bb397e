#pragma once

#include <cstdint>
#include <string>

namespace qbk {

// The player's session and memory settings for one launch, taken on the UI thread at the
// play press and handed to the launch profile assembly.
struct LaunchOptions {
    std::wstring playerName = L"Player";
    std::wstring uuid;        // may be empty: the game then gets the all-zero UUID
    std::wstring accessToken; // may be empty: the game then gets "0"
    std::int32_t maxRamMb = 4096;
    std::int32_t minRamMb = 1024;
};

} // namespace qbk
