// NeoForge maven version lists: the release picked becomes a folder and a file name, so it must
// be a plain name of the branch asked for; a refused list is refused whole.
#include "game/NeoForgeVersionList.h"
#include "tests/fuzz/FuzzSupport.h"

QBK_FUZZ(input) {
    std::vector<std::string> versions;
    std::string error;
    if (!qbk::ParseNeoForgeVersionList(input, versions, error))
        must(versions.empty() && !error.empty());
    for (const std::string branch : {"21.1.", ""}) {
        const std::string pick = qbk::LatestNeoForgeRelease(versions, branch);
        must(pick.empty() || (pick.starts_with(branch) && pick.find("..") == std::string::npos &&
                              pick.find_first_of(std::string("/\\:\0", 4)) == std::string::npos));
    }
}
