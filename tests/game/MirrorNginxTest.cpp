// The mirror as benchmarks and the demo use it: nginx with TLS on loopback, qbk-tool trusting
// the test's own CA through network/caBundle, requests counted from nginx's access log.
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/WholeFile.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::readWholeFile;

int exitCode(const std::string& command) {
    const int status = std::system(command.c_str());
    return status == -1 ? -1 : status >> 8;
}

std::string quoted(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

TEST(MirrorNginx, ColdInstallOverTlsFetchesEachFileOnceAndAWarmRunNothing) {
    test::TempDir dir("qbk-nginx");
    const test::TestCertificates certificates(dir.path());
    const fs::path mirror = dir / "mirror", state = dir / "nginx";
    fs::create_directories(mirror);
    const std::string script = "PATH=" + quoted(fs::path(QBK_NGINX).parent_path()) +
                               ":\"$PATH\" " QBK_SOURCE_DIR "/tools/mirror/serve-nginx ";
    ASSERT_EQ(exitCode(script + "start " + quoted(mirror) + " " + quoted(state) + " --tls " +
                       quoted(certificates.certFile()) + " " + quoted(certificates.keyFile()) +
                       " > " + quoted(dir / "start.txt")),
              0)
        << readWholeFile(state / "error.log");
    struct Stop {
        std::string command;
        ~Stop() { exitCode(command); }
    } stop{script + "stop " + quoted(state)};
    const std::string line = readWholeFile(dir / "start.txt");
    ASSERT_NE(line.find("url=https://127.0.0.1:"), std::string::npos) << line;
    const std::string baseUrl =
        line.substr(line.find("url=") + 4, line.find_last_not_of("\r\n ") - line.find("url=") - 3);
    ASSERT_EQ(exitCode(std::string(QBK_PYTHON3) +
                       " " QBK_SOURCE_DIR "/tools/mirror/generate.py --out " + quoted(mirror) +
                       " --base-url " + baseUrl + " --scale 8000 --no-runtime > /dev/null"),
              0);
    const auto requests = [&] {
        const std::string log = readWholeFile(state / "access.log");
        return std::count(log.begin(), log.end(), '\n');
    };
    const auto install = [&](const fs::path& launcher, const std::string& ini) {
        test::writeWholeFile(launcher / "Quellbrook.ini", ini);
        const int code =
            exitCode("\"" QBK_TOOL_PATH "\" install-vanilla --launcher-dir " + quoted(launcher) +
                     " --target windows > " + quoted(launcher / "out.txt") + " 2> " +
                     quoted(launcher / "err.txt"));
        return std::pair{
            code, nlohmann::json::parse(readWholeFile(launcher / "out.txt"), nullptr, false)};
    };
    const std::string trusting = readWholeFile(mirror / "endpoints.ini") +
                                 "\n[network]\ncaBundle=" + certificates.caFile().string() + "\n";
    auto before = requests();
    const auto [cold, coldSummary] = install(dir / "Лаунчер", trusting);
    ASSERT_EQ(cold, 0) << readWholeFile(dir / "Лаунчер/err.txt");
    EXPECT_EQ(requests() - before, coldSummary["filesDownloaded"].get<long>());

    before = requests();
    const auto [warm, warmSummary] = install(dir / "Лаунчер", trusting);
    ASSERT_EQ(warm, 0);
    EXPECT_EQ(warmSummary["filesDownloaded"], 0);
    EXPECT_EQ(requests(), before);
}

} // namespace
} // namespace qbk
