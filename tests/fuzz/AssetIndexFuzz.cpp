// Asset indexes as a mirror might send them: every task must name a SHA-1 object below the
// objects folder and the objects URL, once.
#include "game/AssetIndex.h"
#include "launch/HexDigest.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kObjectsUrl = "http://127.0.0.1:1/assets";
const fs::path kObjectsDir = "/game/assets/objects";

void checkTask(const qbk::DownloadTask& task) {
    const std::string& hash = task.expectedSha1;
    if (!qbk::IsSha1Hex(hash))
        std::abort();
    const std::string prefix = hash.substr(0, 2);
    if (task.url != kObjectsUrl + "/" + prefix + "/" + hash)
        std::abort();
    if (task.path != kObjectsDir / prefix / hash)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    std::vector<qbk::DownloadTask> tasks;
    std::string error;
    if (!qbk::AssetTasksFromIndex(body, kObjectsUrl, kObjectsDir, tasks, error)) {
        if (!tasks.empty() || error.empty())
            std::abort(); // a refused index is refused whole, and says why
        return 0;
    }
    std::set<std::string> hashes;
    for (const qbk::DownloadTask& task : tasks) {
        checkTask(task);
        if (!hashes.insert(task.expectedSha1).second)
            std::abort(); // one object fetched twice at once would race on its file
    }
    return 0;
}
