// The mirror as benchmarks and the demo use it: nginx with TLS on loopback, qbk-tool trusting
// the test's own CA through network/caBundle, requests counted from nginx's access log.

#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace qbk {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quoted(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

int exitCode(const std::string& command) {
    const int status = std::system(command.c_str());
    return status == -1 ? -1 : status >> 8;
}

class MirrorNginx : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string start =
            std::string(QBK_SOURCE_DIR "/tools/mirror/serve-nginx") + " start " + quoted(mirror) +
            " " + quoted(state) + " --tls " + quoted(certificates.certFile()) + " " +
            quoted(certificates.keyFile()) + " > " + quoted(dir / "start.txt");
        fs::create_directories(mirror);
        ASSERT_EQ(exitCode(start), 0) << readAll(state / "error.log");
        started = true;
        const std::string line = readAll(dir / "start.txt");
        ASSERT_NE(line.find("url=https://127.0.0.1:"), std::string::npos) << line;
        baseUrl = line.substr(line.find("url=") + 4);
        baseUrl.erase(baseUrl.find_last_not_of("\r\n ") + 1);
        const std::string generate =
            "python3 " + quoted(QBK_SOURCE_DIR "/tools/mirror/generate.py") + " --out " +
            quoted(mirror) + " --base-url " + baseUrl + " --scale 8000 --no-runtime > /dev/null";
        ASSERT_EQ(exitCode(generate), 0);
    }
    void TearDown() override {
        if (started)
            exitCode(std::string(QBK_SOURCE_DIR "/tools/mirror/serve-nginx") + " stop " +
                     quoted(state));
    }

    std::size_t requestsLogged() const {
        const std::string log = readAll(state / "access.log");
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
    }

    int installVanilla(const fs::path& launcher) {
        return exitCode("\"" QBK_TOOL_PATH "\" install-vanilla --launcher-dir " + quoted(launcher) +
                        " --target windows > " + quoted(launcher / "out.txt") + " 2> " +
                        quoted(launcher / "err.txt"));
    }

    test::TempDir dir{"qbk-nginx"};
    test::TestCertificates certificates{dir.path()};
    fs::path mirror = dir / "mirror";
    fs::path state = dir / "nginx";
    std::string baseUrl;
    bool started = false;
};

TEST_F(MirrorNginx, ColdInstallOverTlsThenWarmRunWithoutRequests) {
    const fs::path launcher = dir / "Лаунчер";
    fs::create_directories(launcher);
    std::ofstream(launcher / "Quellbrook.ini")
        << readAll(mirror / "endpoints.ini")
        << "\n[network]\ncaBundle=" << certificates.caFile().string() << "\n";
    const std::size_t before = requestsLogged();
    ASSERT_EQ(installVanilla(launcher), 0) << readAll(launcher / "err.txt");
    const auto cold = nlohmann::json::parse(readAll(launcher / "out.txt"));
    EXPECT_EQ(requestsLogged() - before, cold["filesDownloaded"].get<std::size_t>());
    EXPECT_TRUE(fs::exists(launcher / "minecraft/libraries/org/lwjgl/lwjgl/3.3.3/"
                                      "lwjgl-3.3.3-natives-windows.jar"));

    const std::size_t warmBefore = requestsLogged();
    ASSERT_EQ(installVanilla(launcher), 0);
    EXPECT_EQ(requestsLogged(), warmBefore);
    EXPECT_EQ(nlohmann::json::parse(readAll(launcher / "out.txt"))["filesDownloaded"], 0);
}

TEST_F(MirrorNginx, UntrustedCertificateIsRefused) {
    const fs::path launcher = dir / "untrusting";
    fs::create_directories(launcher);
    fs::copy_file(mirror / "endpoints.ini", launcher / "Quellbrook.ini");
    const std::size_t before = requestsLogged();
    EXPECT_EQ(installVanilla(launcher), 1);
    EXPECT_NE(readAll(launcher / "err.txt").find("Не удалось получить список версий Minecraft: "),
              std::string::npos);
    EXPECT_EQ(requestsLogged(), before);
}

} // namespace
} // namespace qbk
