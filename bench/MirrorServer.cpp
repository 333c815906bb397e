#include "bench/MirrorServer.h"

#include "tests/support/WholeFile.h"

#include <cstdio>
#include <cstdlib>

namespace qbk::bench {

namespace fs = std::filesystem;

std::string shellQuoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

MirrorServer::MirrorServer(fs::path mirrorDir, fs::path stateDir)
    : mirrorDir_(std::move(mirrorDir)), stateDir_(std::move(stateDir)) {}

MirrorServer::~MirrorServer() {
    if (started_)
        std::system((std::string(QBK_SERVE_NGINX) + " stop " + shellQuoted(stateDir_)).c_str());
}

bool MirrorServer::start() {
    if (!startNginx()) {
        std::printf("nginx did not start\n");
        return false;
    }
    const std::string generate = std::string(QBK_PYTHON3) + " " + QBK_MIRROR_SCRIPT + " --out " +
                                 shellQuoted(mirrorDir_) + " --base-url " + baseUrl_ +
                                 " --no-runtime > /dev/null";
    if (std::system(generate.c_str()) != 0) {
        std::printf("could not generate the mirror\n");
        return false;
    }
    return true;
}

// serve-nginx prints "url=<base URL>" once nginx listens.
bool MirrorServer::startNginx() {
    const fs::path out = stateDir_.parent_path() / "nginx-start.txt";
    fs::create_directories(mirrorDir_);
    const std::string command = std::string(QBK_SERVE_NGINX) + " start " + shellQuoted(mirrorDir_) +
                                " " + shellQuoted(stateDir_) + " > " + shellQuoted(out);
    if (std::system(command.c_str()) != 0)
        return false;
    started_ = true;
    const std::string line = test::readWholeFile(out);
    const auto url = line.find("url=");
    if (url == std::string::npos)
        return false;
    baseUrl_ = line.substr(url + 4);
    baseUrl_.erase(baseUrl_.find_last_not_of(" \r\n") + 1);
    return true;
}

} // namespace qbk::bench
