// The stand-in Modrinth as a process on 127.0.0.1, driven by the launcher's own client: what the
// demo's mod list gets from it (titles, pages, PNG and WebP icons), 404 for files it does not
// know, and its 429 mode that the client must wait out.

#include "mods/ModrinthClient.h"
#include "mods/ZipUtils.h"
#include "platform/ChildProcess.h"
#include "tests/app/QtTestApp.h"
#include "tests/mods/ScratchDir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>

namespace qbk {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class StandinProcess {
public:
    StandinProcess(const fs::path& modsDir, std::vector<std::string> extra, const fs::path& out) {
        platform::ChildProcessSpec setup;
        setup.program = QBK_MODRINTH_STANDIN;
        setup.arguments = {"--port", "0", "--mods-dir", modsDir.string()};
        setup.arguments.insert(setup.arguments.end(), extra.begin(), extra.end());
        setup.outputFile = out;
        std::string error;
        int code = 0;
        const bool started = process_.start(setup, error, code);
        for (int i = 0; i < 100 && started && port_ == 0; ++i) {
            const std::string text = readFile(out);
            if (text.rfind("port=", 0) == 0 && text.find('\n') != std::string::npos)
                port_ = std::stoi(text.substr(5));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~StandinProcess() { process_.kill(); }

    int port() const { return port_; }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1").arg(port_) + path;
    }

private:
    platform::ChildProcess process_;
    int port_ = 0;
};

class ModrinthStandinTest : public ::testing::Test {
protected:
    ModrinthStandinTest() {
        fs::create_directories(modsDir());
        const char* names[] = {"a-core.jar", "b-ботаника.jar", "c-jei.jar", "d-private.jar"};
        for (const char* name : names)
            std::ofstream(modsDir() / fs::u8path(name), std::ios::binary) << "jar " << name;
    }
    fs::path modsDir() const { return dir / "mods"; }
    void start(std::vector<std::string> extra = {}) {
        extra.insert(extra.end(), {"--unknown", "d-private.jar"});
        standin = std::make_unique<StandinProcess>(modsDir(), extra, dir / "standin.out");
        ASSERT_GT(standin->port(), 0) << readFile(dir / "standin.out");
    }
    ModrinthClient::Config config() const {
        ModrinthClient::Config c;
        c.apiBase = standin->url(QStringLiteral("/v2"));
        c.siteBase = QStringLiteral("https://modrinth.com");
        c.cacheFile = QString::fromStdString((dir / "modcache.json").string());
        c.userAgent = QStringLiteral("Quellbrook-Launcher/1.0 (test)");
        c.transferTimeout = std::chrono::milliseconds(5000);
        return c;
    }
    // All updates of one scan, the last record of each file.
    QMap<QString, ModInfo> scan(ModrinthClient& client) {
        QMap<QString, ModInfo> last;
        QObject::connect(&client, &ModrinthClient::modUpdated,
                         [&](const ModInfo& info) { last[info.fileName] = info; });
        QSignalSpy finished(&client, &ModrinthClient::scanFinished);
        client.scanFolder(QString::fromStdString(modsDir().string()));
        EXPECT_TRUE(!finished.isEmpty() || finished.wait(15000));
        return last;
    }
    QByteArray get(const QString& path, int& status) {
        QNetworkAccessManager network;
        QNetworkReply* reply = network.get(QNetworkRequest(QUrl(standin->url(path))));
        QSignalSpy done(reply, &QNetworkReply::finished);
        done.wait(5000);
        status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        delete reply;
        return body;
    }

    test::ScratchDir dir{"qbk-modrinth-standin"};
    std::unique_ptr<StandinProcess> standin;
};

TEST_F(ModrinthStandinTest, DemoJarsGetRealTitlesPagesAndBothIconFormats) {
    start();
    ModrinthClient client(config(), nullptr);
    const QMap<QString, ModInfo> mods = scan(client);

    ASSERT_EQ(mods.keys(), (QStringList{"a-core.jar", "b-ботаника.jar", "c-jei.jar"}));
    EXPECT_EQ(mods["a-core.jar"].title, "Fabric API");
    EXPECT_EQ(mods["a-core.jar"].pageUrl, "https://modrinth.com/mod/fabric-api");
    EXPECT_EQ(mods["b-ботаника.jar"].title, "Sodium");
    EXPECT_EQ(mods["c-jei.jar"].title, "Iris Shaders");
    EXPECT_TRUE(mods["a-core.jar"].iconUrl.endsWith(".png"));
    EXPECT_TRUE(mods["b-ботаника.jar"].iconUrl.endsWith(".webp"));
    for (const ModInfo& info : mods) {
        EXPECT_TRUE(info.resolved) << info.fileName.toStdString();
        EXPECT_FALSE(info.version.isEmpty());
        EXPECT_EQ(info.icon.size(), QSize(32, 32)) << info.fileName.toStdString();
    }
    EXPECT_FALSE(client.info(QStringLiteral("d-private.jar")).resolved);
    EXPECT_EQ(client.info(QStringLiteral("d-private.jar")).title, "d-private.jar");
}

TEST_F(ModrinthStandinTest, VersionRepliesCarryTheJarsOwnHashNameAndSize) {
    start();
    const std::string sha1 = sha1FileHex(modsDir() / "a-core.jar");
    int status = 0;
    const QJsonObject version =
        QJsonDocument::fromJson(
            get(QString::fromStdString("/v2/version_file/" + sha1 + "?algorithm=sha1"), status))
            .object();
    ASSERT_EQ(status, 200);
    EXPECT_EQ(version["project_id"].toString(), "P7dR8mSH");
    const QJsonObject file = version["files"].toArray().first().toObject();
    EXPECT_EQ(file["hashes"].toObject()["sha1"].toString().toStdString(), sha1);
    EXPECT_EQ(file["filename"].toString(), "a-core.jar");
    EXPECT_EQ(file["size"].toInteger(),
              static_cast<qint64>(fs::file_size(modsDir() / "a-core.jar")));

    get(QString::fromStdString("/v2/version_file/" + sha1FileHex(modsDir() / "d-private.jar") +
                               "?algorithm=sha1"),
        status);
    EXPECT_EQ(status, 404);
    get(QStringLiteral("/v2/project/no-such-project"), status);
    EXPECT_EQ(status, 404);
    get(QStringLiteral("/icons/nothing.png"), status);
    EXPECT_EQ(status, 404);
    get(QStringLiteral("/v2/project/sodium"), status);
    EXPECT_EQ(status, 200);
}

TEST_F(ModrinthStandinTest, RateLimitModeIsWaitedOutByTheClient) {
    start({"--refuse", "2", "--reset", "1"});
    ModrinthClient client(config(), nullptr);
    QElapsedTimer clock;
    clock.start();
    const QMap<QString, ModInfo> mods = scan(client);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_EQ(mods.size(), 3);
    for (const ModInfo& info : mods)
        EXPECT_TRUE(info.resolved) << info.fileName.toStdString();
}

TEST_F(ModrinthStandinTest, AlwaysRefusingServerLeavesModsByNameAndStillFinishes) {
    start({"--refuse", "all", "--reset", "0"});
    ModrinthClient client(config(), nullptr);
    EXPECT_TRUE(scan(client).isEmpty());
    EXPECT_EQ(client.pending(), 0);
    EXPECT_FALSE(client.info(QStringLiteral("a-core.jar")).resolved);
    QFile cache(QString::fromStdString((dir / "modcache.json").string()));
    ASSERT_TRUE(cache.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QJsonDocument::fromJson(cache.readAll()).object().contains("a-core.jar"));
}

} // namespace
} // namespace qbk
