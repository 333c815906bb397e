// Asset indexes as a mirror might send them: every task names a SHA-1 object below the objects
// folder and the objects URL, once (one object fetched twice at once would race on its file); a
// refused index is refused whole, and says why.
#include "game/AssetIndex.h"
#include "launch/HexDigest.h"
#include "tests/fuzz/FuzzSupport.h"

#include <set>

QBK_FUZZ(input) {
    const std::string url = "http://127.0.0.1:1/assets";
    const std::filesystem::path dir = "/game/assets/objects";
    std::vector<qbk::DownloadTask> tasks;
    std::string error;
    std::set<std::string> hashes;
    if (!qbk::AssetTasksFromIndex(input, url, dir, tasks, error))
        must(tasks.empty() && !error.empty());
    for (const qbk::DownloadTask& task : tasks) {
        const std::string& hash = task.expectedSha1;
        must(qbk::IsSha1Hex(hash) && hashes.insert(hash).second);
        must(task.url == url + "/" + hash.substr(0, 2) + "/" + hash &&
             task.path == dir / hash.substr(0, 2) / hash);
    }
}
