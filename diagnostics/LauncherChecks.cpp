#include "diagnostics/LauncherChecks.h"

#include "app/ProjectInfo.h"
#include "launch/HttpClient.h"
#include "platform/ChildProcess.h"
#include "platform/Platform.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryFile>
#include <fstream>
#include <iterator>
#include <system_error>

namespace qbk {

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMb = 1048576;
constexpr std::uint64_t kGb = 1073741824;
const QString kNotDownloaded = QStringLiteral("Пока не скачаны.");
const QString kEmptyFolder = QStringLiteral("Папка есть, но пустая.");
const QString kNeoForgeMissing = QStringLiteral("Пока не установлен.");

CheckResult ok(const QString& title, const QString& detail) {
    return {title, detail, CheckSeverity::Ok};
}
CheckResult warning(const QString& title, const QString& detail) {
    return {title, detail, CheckSeverity::Warning};
}
CheckResult error(const QString& title, const QString& detail) {
    return {title, detail, CheckSeverity::Error};
}

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool hasJarExtension(const fs::path& file) {
    return QString::fromStdWString(file.extension().wstring())
               .compare(QStringLiteral(".jar"), Qt::CaseInsensitive) == 0;
}

// Files below dir, at any depth or only directly in it, that pass the filter. An entry that
// cannot be read is skipped: the check counts what is there, it does not fail.
template <typename Iterator, typename Filter> int countFiles(const fs::path& dir, Filter filter) {
    std::error_code ec;
    int count = 0;
    for (Iterator it(dir, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && filter(it->path()))
            ++count;
    }
    return count;
}

bool anyFile(const fs::path&) {
    return true;
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The first line "java -version" printed, as the console code page wrote it.
QString firstLine(const std::string& output) {
    const QString text =
        QString::fromLocal8Bit(output.data(), static_cast<qsizetype>(output.size())).trimmed();
    return text.left(text.indexOf(QLatin1Char('\n'))).trimmed();
}

struct Probe {
    QString name;
    std::string url;
};

} // namespace

LauncherChecks::LauncherChecks(Config config) : config_(std::move(config)) {}

std::vector<CheckResult> LauncherChecks::runAllChecks() const {
    return {checkWriteAccess(), checkDiskSpace(), checkJava(), checkClient(),  checkLibraries(),
            checkAssets(),      checkNeoForge(),  checkMods(), checkInternet()};
}

CheckResult LauncherChecks::checkWriteAccess() const {
    const QString title = QStringLiteral("Права на запись");
    const fs::path probe = config_.launcherDir / ".write_test";
    std::FILE* file = platform::openFile(probe, "wb");
    if (file) {
        const bool written = std::fwrite("ok", 1, 2, file) == 2;
        const bool closed = std::fclose(file) == 0;
        const bool removed = platform::removeFile(probe);
        if (written && closed && removed)
            return ok(title, QStringLiteral("В порядке"));
    }
    return error(title, QStringLiteral("Нет прав на запись в папку лаунчера. Перенеси его, "
                                       "например, в Документы — в Program Files он работать не "
                                       "будет."));
}

std::optional<std::uint64_t> LauncherChecks::volumeFreeSpace(const fs::path& dir) {
    std::error_code ec;
    const fs::space_info space = fs::space(dir, ec);
    if (ec || space.available == static_cast<std::uintmax_t>(-1))
        return std::nullopt;
    return space.available;
}

CheckResult LauncherChecks::checkDiskSpace() const {
    const QString title = QStringLiteral("Место на диске");
    const auto free = config_.freeSpace ? config_.freeSpace(config_.launcherDir)
                                        : volumeFreeSpace(config_.launcherDir);
    if (!free)
        return warning(title, QStringLiteral("Не удалось определить."));
    const auto freeMb = static_cast<qulonglong>(*free / kMb);
    if (freeMb < 2048)
        return error(
            title, QStringLiteral("Свободно %1 МБ. Для установки нужно минимум 2 ГБ.").arg(freeMb));
    if (freeMb >= 5120)
        return ok(title,
                  QStringLiteral("Свободно %1 ГБ").arg(static_cast<qulonglong>(*free / kGb)));
    return warning(title, QStringLiteral("Свободно %1 МБ — впритык.").arg(freeMb));
}

CheckResult LauncherChecks::checkJava() const {
    const QString title = QStringLiteral("Java 21");
    const fs::path java =
        config_.launcherDir / "runtime" / "java21" / "bin" / config_.target.javaExecutable;
    if (!platform::pathExists(java))
        return warning(title, QStringLiteral("Не установлена. Скачается автоматически при "
                                             "первом запуске."));
    const QString notAnswering =
        QStringLiteral("Найдена, но не отвечает. Похоже, распаковалась криво.");

    // The output goes to a temporary file outside the launcher folder, gone with this scope.
    QTemporaryFile output;
    if (!output.open())
        return error(title, notAnswering);
    output.close();
    platform::ChildProcessSpec setup;
    setup.program = java;
    setup.arguments = {"-version"};
    setup.outputFile = platform::pathFromUtf8(output.fileName().toStdString());
    platform::ChildProcess process;
    std::string startError;
    int systemError = 0;
    if (!process.start(setup, startError, systemError))
        return error(title, notAnswering);
    int exitCode = 0;
    if (process.waitFor(config_.javaTimeout, exitCode) !=
        platform::ChildProcess::WaitResult::Exited) {
        process.kill();
        return error(title, notAnswering);
    }
    if (exitCode != 0)
        return error(title, QStringLiteral("Найдена, но не запускается (код %1). Удали папку "
                                           "runtime и запусти игру заново.")
                                .arg(exitCode));
    const QString version = firstLine(readAll(setup.outputFile));
    return ok(title, version.isEmpty() ? QStringLiteral("Работает") : version);
}

CheckResult LauncherChecks::checkClient() const {
    const QString title = QStringLiteral("Minecraft %1").arg(fromView(project::kMinecraftVersion));
    const std::string version(project::kMinecraftVersion);
    const fs::path folder = gameDir() / "versions" / version;
    const auto jarSize = platform::fileSize(folder / (version + ".jar"));
    if (!platform::pathExists(folder / (version + ".json")) || !jarSize)
        return warning(title,
                       QStringLiteral("Не установлен. Скачается при первом нажатии ИГРАТЬ."));
    if (*jarSize < kMb)
        return error(title, QStringLiteral(
                                "Файл клиента подозрительно мал — скорее всего, битая загрузка."));
    return ok(
        title,
        QStringLiteral("Клиент на месте (%1 МБ)").arg(static_cast<qulonglong>(*jarSize / kMb)));
}

CheckResult LauncherChecks::checkLibraries() const {
    const QString title = QStringLiteral("Библиотеки");
    const fs::path libraries = gameDir() / "libraries";
    if (!platform::isDirectory(libraries))
        return warning(title, kNotDownloaded);
    const int jars = countFiles<fs::recursive_directory_iterator>(libraries, hasJarExtension);
    if (jars == 0)
        return error(title, kEmptyFolder);
    if (jars >= 50)
        return ok(title, QStringLiteral("%1 файлов").arg(jars));
    return warning(title,
                   QStringLiteral("Только %1 файлов — возможно, загрузка прервалась.").arg(jars));
}

CheckResult LauncherChecks::checkAssets() const {
    const QString title = QStringLiteral("Ресурсы игры");
    const fs::path assets = gameDir() / "assets";
    if (!platform::isDirectory(assets / "indexes") || !platform::isDirectory(assets / "objects"))
        return warning(title, kNotDownloaded);
    const int objects = countFiles<fs::recursive_directory_iterator>(assets / "objects", anyFile);
    if (objects == 0)
        return error(title, kEmptyFolder);
    if (objects >= 3000)
        return ok(title, QStringLiteral("%1 файлов").arg(objects));
    return warning(title, QStringLiteral("%1 файлов — меньше ожидаемого, звуки и языки могут "
                                         "отсутствовать.")
                              .arg(objects));
}

// Only the pinned loader counts: a failed install's leftover or another version would not
// start this build.
CheckResult LauncherChecks::checkNeoForge() const {
    const QString title = QStringLiteral("NeoForge");
    const std::string id = "neoforge-" + std::string(project::kNeoForgeVersion);
    if (!platform::pathExists(gameDir() / "versions" / id / (id + ".json")))
        return warning(title, kNeoForgeMissing);
    return ok(title, QString::fromStdString(id));
}

CheckResult LauncherChecks::checkMods() const {
    const QString title = QStringLiteral("Моды");
    const fs::path mods = gameDir() / "mods";
    if (!platform::isDirectory(mods))
        return warning(title, QStringLiteral("Папка ещё не создана."));
    const int jars = countFiles<fs::directory_iterator>(mods, hasJarExtension);
    if (jars == 0)
        return warning(title, QStringLiteral("Ни одного мода не установлено."));
    return ok(title, QStringLiteral("%1 шт.").arg(jars));
}

CheckResult LauncherChecks::checkInternet() const {
    const QString title = QStringLiteral("Интернет");
    const Endpoints& e = config_.endpoints;
    const std::vector<Probe> probes = {
        {QStringLiteral("Mojang"), e.mojangMeta + "/mc/game/version_manifest_v2.json"},
        {QStringLiteral("NeoForge"),
         e.neoforgeMaven + "/api/maven/versions/releases/net/neoforged/neoforge"},
        {QStringLiteral("Modrinth"), e.modrinthApi + "/v2/project/create"}};
    QStringList unreachable;
    for (const Probe& probe : probes) {
        // A fresh client per host: a connection kept from one service is of no use to the next.
        HttpClient client(config_.probeLimits);
        std::string body;
        if (!client.DownloadToString(probe.url, body) || body.empty())
            unreachable << probe.name;
    }
    if (unreachable.size() == static_cast<qsizetype>(probes.size()))
        return error(title, QStringLiteral("Ни один сервер недоступен. Проверь подключение."));
    if (!unreachable.isEmpty())
        return warning(title, QStringLiteral("Недоступны: ") +
                                  unreachable.join(QStringLiteral(", ")) +
                                  QStringLiteral(". Возможна блокировка провайдером."));
    return ok(title, QStringLiteral("Все серверы доступны"));
}

} // namespace qbk
