#include "bench/StandInWorld.h"

#include "platform/Digest.h"

#include <QSettings>
#include <QString>
#include <QUrl>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace qbk::test {

namespace {

namespace fs = std::filesystem;

constexpr int kScale = 256;

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

bool runQuietly(const std::string& command) {
    return std::system((command + " > /dev/null").c_str()) == 0;
}

std::string sha256Of(const std::string& bytes) {
    platform::Digest digest(platform::HashAlgorithm::Sha256);
    digest.update(bytes);
    return digest.finishHex();
}

// Distinct, reproducible bytes for a mod jar.
std::string modBytes(const std::string& name, std::size_t size) {
    std::string bytes = "PK\x03\x04" + name;
    while (bytes.size() < size)
        bytes.push_back(static_cast<char>('a' + bytes.size() * 7 % 26));
    return bytes;
}

} // namespace

StandInWorld::StandInWorld() : root_(QBK_E2E_MIRROR_DIR) {
    if (!buildMirror())
        error_ = "the mirror could not be generated in " + root_.string();
    else if (!writeMods())
        error_ = "the mods could not be placed in the mirror";
    else if (!startAccountServer())
        error_ = "the account server did not start";
    // The mirror's files as a static web server gives them.
    mirror_.get("/m/(.*)",
                [root = root_](const auto&, httplib::Response& response, const std::smatch& match) {
                    const std::string relative = match[1];
                    std::ifstream in(root / fs::u8path(relative), std::ios::binary);
                    if (relative.find("..") != std::string::npos || !in) {
                        response.status = 404;
                        return;
                    }
                    response.set_content(std::string(std::istreambuf_iterator<char>(in), {}),
                                         "application/octet-stream");
                });
}

bool StandInWorld::buildMirror() {
    // Kept in the build tree: a second run rewrites only the documents that name the port.
    // Both loaders list some of the same libraries, so both halves use one scale.
    const std::string python = QBK_PYTHON3;
    const std::string tools = QBK_MIRROR_TOOL_DIR;
    const std::string out = quoted(root_.string());
    const std::string base = quoted(mirrorBase());
    const std::string scale = std::to_string(kScale);
    return runQuietly(python + " " + quoted(tools + "/generate.py") + " --out " + out +
                      " --base-url " + base + " --scale " + scale + " --no-runtime") &&
           runQuietly(python + " " + quoted(tools + "/neoforge.py") + " --out " + out +
                      " --base-url " + base + " --scale " + scale) &&
           runQuietly(python + " " + quoted(tools + "/runtime_archive.py") + " " +
                      quoted((root_ / "v3/binary/latest/21/ga/linux/x64/jre/hotspot/normal/eclipse")
                                 .string()) +
                      " --target linux --scale 64 --java " + quoted(QBK_JAVA_STANDIN));
}

bool StandInWorld::writeMods() {
    mods_ = {{"quellbrook-core-1.4.2.jar", modBytes("core", 5000)},
             {"Ботаника-2.0.jar", modBytes("botanika", 3100)},
             {"jei-1.21.1-19.21.jar", modBytes("jei", 7777)}};
    nlohmann::json list = nlohmann::json::array();
    for (const Mod& mod : mods_) {
        const fs::path file = root_ / "server-mods" / fs::u8path(mod.fileName);
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << mod.bytes;
        // The URL names the file with percent-escapes, as a web server publishes it.
        const QString escaped =
            QString::fromUtf8(QUrl::toPercentEncoding(QString::fromStdString(mod.fileName)));
        list.push_back({{"fileName", mod.fileName},
                        {"url", mirrorBase() + "/server-mods/" + escaped.toStdString()},
                        {"sizeBytes", mod.bytes.size()},
                        {"sha256", sha256Of(mod.bytes)}});
    }
    std::ofstream(state_ / "mods.json", std::ios::binary) << nlohmann::json{{"mods", list}}.dump();
    return static_cast<bool>(std::ifstream(state_ / "mods.json"));
}

bool StandInWorld::startAccountServer() {
    accounts_ = std::make_unique<AccountTestServer>(QStringList{
        "--difficulty", "8", "--seed-account",
        QStringLiteral("%1:%2").arg(QString::fromLatin1(kPlayer), QString::fromLatin1(kPassword)),
        "--mods-manifest", QString::fromStdString((state_ / "mods.json").string())});
    return accounts_->port > 0;
}

std::string StandInWorld::accountBase() const {
    return accounts_->baseUrl().toStdString();
}

Endpoints StandInWorld::endpoints() const {
    Endpoints e;
    const std::string base = mirrorBase();
    e.mojangMeta = base;
    e.mojangAssets = base + "/resources";
    e.neoforgeMaven = base + "/maven";
    e.adoptium = base;
    e.authlibInjector = base + "/authlib-injector";
    e.modrinthApi = base + "/modrinth-api";
    e.modrinthSite = base + "/modrinth";
    e.gameServer = kGameServer;
    e.accountServer = accountBase();
    return e;
}

void StandInWorld::writeIni(const fs::path& launcherDir, const Endpoints& e) const {
    fs::create_directories(launcherDir);
    QSettings ini(QString::fromStdString((launcherDir / "Quellbrook.ini").string()),
                  QSettings::IniFormat);
    const auto put = [&ini](const char* key, const std::string& value) {
        ini.setValue(QString::fromLatin1(key), QString::fromStdString(value));
    };
    put("endpoints/mojangMeta", e.mojangMeta);
    put("endpoints/mojangAssets", e.mojangAssets);
    put("endpoints/neoforgeMaven", e.neoforgeMaven);
    put("endpoints/adoptium", e.adoptium);
    put("endpoints/authlibInjector", e.authlibInjector);
    put("endpoints/modrinthApi", e.modrinthApi);
    put("endpoints/modrinthSite", e.modrinthSite);
    put("endpoints/gameServer", e.gameServer);
    put("auth/baseUrl", e.accountServer);
    ini.sync();
}

bool StandInWorld::signIn(SignIn& session) const {
    httplib::Client client("127.0.0.1", accounts_->port);
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    const nlohmann::json request = {{"username", kPlayer}, {"password", kPassword}};
    const auto reply = client.Post("/authserver/authenticate", request.dump(), "application/json");
    if (!reply || reply->status != 200)
        return false;
    const auto body = nlohmann::json::parse(reply->body, nullptr, false);
    if (!body.is_object() || !body.contains("accessToken"))
        return false;
    session.accessToken = body.value("accessToken", "");
    session.uuid = body.at("selectedProfile").value("id", "");
    return !session.accessToken.empty();
}

} // namespace qbk::test
