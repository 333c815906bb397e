// NeoForge maven version lists: the release picked becomes a folder and a file name, so it
// must be a plain name of the branch asked for.
#include "game/NeoForgeVersionList.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void checkPick(const std::vector<std::string>& versions, const std::string& branch) {
    const std::string pick = qbk::LatestNeoForgeRelease(versions, branch);
    if (pick.empty())
        return;
    if (pick.rfind(branch, 0) != 0 || pick.find("..") != std::string::npos ||
        pick.find_first_of("/\\:") != std::string::npos || pick.find('\0') != std::string::npos)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> versions;
    std::string error;
    if (!qbk::ParseNeoForgeVersionList(body, versions, error)) {
        if (!versions.empty() || error.empty())
            std::abort();
        return 0;
    }
    checkPick(versions, "21.1.");
    checkPick(versions, "");
    return 0;
}
