#include "mods/ModManagerDialog.h"

#include "mods/ModsFolderLock.h"
#include "tests/app/QtTestApp.h"
#include "tests/mods/ModUiSupport.h"
#include "tests/mods/ScratchDir.h"
#include "tests/support/TestHttpServer.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>

namespace qbk {
namespace {

std::string sha256Of(const std::string& bytes) {
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// The account server's manifest and its mod files, on loopback.
class ManifestServer {
public:
    ManifestServer() {
        server.get("/api/mods", [this](const httplib::Request&, httplib::Response& response,
                                       const std::smatch&) {
            std::lock_guard lock(mutex_);
            response.status = status_;
            response.set_content(body_, "application/json");
        });
        server.get(
            "/files/([A-Za-z0-9._-]+)",
            [this](const httplib::Request&, httplib::Response& response, const std::smatch& match) {
                std::string content;
                {
                    std::lock_guard lock(mutex_);
                    ++fileRequests_;
                    const auto found = files_.find(match[1]);
                    if (found == files_.end()) {
                        response.status = 404;
                        return;
                    }
                    content = found->second;
                }
                response.set_content(content, "application/java-archive");
            });
    }

    // An entry served at /files/<name>; sha256 of served unless a wrong one is given.
    void addMod(const std::string& name, const std::string& content,
                const std::string& sha256 = {}) {
        std::lock_guard lock(mutex_);
        files_[name] = content;
        QJsonObject entry{
            {"fileName", QString::fromStdString(name)},
            {"url", QString::fromStdString(server.url("/files/" + name))},
            {"sizeBytes", static_cast<double>(content.size())},
            {"sha256", QString::fromStdString(sha256.empty() ? sha256Of(content) : sha256)}};
        mods_.append(entry);
        refreshBody();
    }
    void addRawEntry(const QJsonObject& entry) {
        std::lock_guard lock(mutex_);
        mods_.append(entry);
        refreshBody();
    }
    void setStatus(int status) {
        std::lock_guard lock(mutex_);
        status_ = status;
    }
    int fileRequests() const {
        std::lock_guard lock(mutex_);
        return fileRequests_;
    }
    QString manifestUrl() const { return QString::fromStdString(server.url("/api/mods")); }

private:
    void refreshBody() {
        body_ = QJsonDocument(QJsonObject{{"mods", mods_}}).toJson().toStdString();
    }

    mutable std::mutex mutex_;
    std::map<std::string, std::string> files_;
    QJsonArray mods_;
    std::string body_ = "{\"mods\":[]}";
    int status_ = 200;
    int fileRequests_ = 0;

public:
    // Last, so it is stopped first: its handler threads read the members above.
    test::TestHttpServer server;
};

class ModManagerDialogTest : public ::testing::Test {
protected:
    void writeJar(const std::string& name, const std::string& content) {
        std::filesystem::create_directories(dir / "mods");
        std::ofstream(dir / "mods" / name, std::ios::binary) << content;
    }
    bool present(const std::string& name) const {
        return std::filesystem::exists(dir / "mods" / name);
    }
    std::string contentOf(const std::string& name) const {
        std::ifstream in(dir / "mods" / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    ModManagerDialog::Config config(TargetPlatform target = TargetPlatform::linuxX64()) {
        ModManagerDialog::Config c;
        c.manifestUrl = manifest.manifestUrl();
        c.modsDir = dir / "mods";
        c.target = std::move(target);
        c.prompts = prompts.prompts();
        c.manifestTimeoutMs = 5000;
        return c;
    }
    // A dialog whose manifest request has been answered.
    std::unique_ptr<ModManagerDialog> open(TargetPlatform target = TargetPlatform::linuxX64()) {
        auto dialog = std::make_unique<ModManagerDialog>(config(std::move(target)));
        QSignalSpy loaded(dialog.get(), &ModManagerDialog::manifestLoaded);
        EXPECT_TRUE(loaded.wait(10000));
        return dialog;
    }

    static QString hint(ModManagerDialog& dialog) {
        return dialog.findChild<QLabel*>(QStringLiteral("hintLabel"))->text();
    }
    static QPushButton* button(QWidget& parent, const QString& text) {
        for (QPushButton* candidate : parent.findChildren<QPushButton*>())
            if (candidate->text() == text)
                return candidate;
        return nullptr;
    }
    static QWidget* row(ModManagerDialog& dialog, const QString& fileName) {
        for (QWidget* candidate : dialog.findChildren<QWidget*>(QStringLiteral("modRow")))
            if (candidate->findChild<QLabel*>(QStringLiteral("modTitle"))->text() == fileName)
                return candidate;
        return nullptr;
    }
    static QString meta(ModManagerDialog& dialog, const QString& fileName) {
        QWidget* found = row(dialog, fileName);
        return found ? found->findChild<QLabel*>(QStringLiteral("modMeta"))->text() : QString();
    }
    // Rows scheduled for deletion by a rebuild are gone once the posted deletions ran.
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    test::ScratchDir dir;
    ManifestServer manifest;
    test::PromptRecorder prompts;
};

TEST_F(ModManagerDialogTest, ListsInstalledMissingAndExtraModsAndDropsUnsafeNames) {
    manifest.addMod("present.jar", std::string(2048, 'p'));
    manifest.addMod("missing.jar", std::string(3 * 1048576, 'm'));
    manifest.addRawEntry(
        {{"fileName", "anysize.jar"}, {"url", "http://127.0.0.1:1/x"}, {"sizeBytes", 0}});
    manifest.addRawEntry(
        {{"fileName", "..\\Quellbrook.ini"}, {"url", "http://127.0.0.1:1/x"}, {"sizeBytes", 10}});
    manifest.addRawEntry({{"fileName", "../escape.jar"}, {"url", "http://127.0.0.1:1/x"}});
    writeJar("present.jar", std::string(2048, 'p'));
    writeJar("anysize.jar", "whatever size");
    writeJar("extra.jar", std::string(1000, 'e'));

    auto dialog = open();
    QStringList names;
    for (const ServerMod& entry : dialog->entries())
        names << entry.fileName;
    EXPECT_EQ(names, (QStringList{"present.jar", "missing.jar", "anysize.jar", "extra.jar"}));
    EXPECT_EQ(meta(*dialog, "present.jar"), QStringLiteral("2 КБ · установлен"));
    EXPECT_EQ(meta(*dialog, "missing.jar"), QStringLiteral("3 МБ · не хватает"));
    EXPECT_EQ(meta(*dialog, "anysize.jar"), QStringLiteral("0 Б · установлен"));
    EXPECT_EQ(meta(*dialog, "extra.jar"),
              QStringLiteral("1000 Б · лишний — сервер его не требует"));
    EXPECT_EQ(hint(*dialog),
              QStringLiteral("Не хватает модов: 1 (3 МБ). Без них на сервер не пустит."));
    EXPECT_TRUE(button(*dialog, "Скачать недостающие")->isEnabled());
    EXPECT_TRUE(button(*dialog, "Удалить все")->isEnabled());
    EXPECT_FALSE(button(*row(*dialog, "missing.jar"), "Удалить")->isEnabled());
    EXPECT_EQ(button(*row(*dialog, "extra.jar"), "Удалить")->accessibleName(),
              QStringLiteral("Удалить extra.jar"));

    // setEntries checks names too, whatever list it is given.
    ServerMod unsafe;
    unsafe.fileName = QStringLiteral("..\\Quellbrook.ini");
    unsafe.onServer = true;
    dialog->setEntries({unsafe});
    settle();
    EXPECT_EQ(row(*dialog, QStringLiteral("..\\Quellbrook.ini")), nullptr);
}

TEST_F(ModManagerDialogTest, SummaryForExtrasOnlyAndForAFailedManifest) {
    manifest.addMod("present.jar", "p");
    writeJar("present.jar", "p");
    writeJar("a.jar", "a");
    writeJar("b.jar", "b");
    {
        auto dialog = open();
        EXPECT_EQ(hint(*dialog), QStringLiteral("Всё нужное установлено. Лишних модов: 2 — из-за "
                                                "них сервер может отказать в подключении."));
        EXPECT_FALSE(button(*dialog, "Скачать недостающие")->isEnabled());
    }
    manifest.setStatus(500);
    auto dialog = open();
    EXPECT_EQ(hint(*dialog), QStringLiteral("Список сервера недоступен — показываю только то, что "
                                            "стоит локально."));
    EXPECT_EQ(dialog->entries().size(), 3);
    for (const ServerMod& entry : dialog->entries())
        EXPECT_FALSE(entry.onServer);
    EXPECT_FALSE(button(*dialog, "Скачать недостающие")->isEnabled());
}

TEST_F(ModManagerDialogTest, WindowsComparesNamesWithoutCase) {
    manifest.addMod("Foo.jar", "foo");
    writeJar("foo.jar", "foo");
    auto windows = open(TargetPlatform::windowsX64());
    ASSERT_EQ(windows->entries().size(), 1);
    EXPECT_TRUE(windows->entries().first().installed);
    EXPECT_EQ(hint(*windows), QStringLiteral("Всё совпадает со сборкой сервера."));

    auto linux = open(TargetPlatform::linuxX64());
    EXPECT_EQ(linux->entries().size(), 2) << "two different files on a case-sensitive system";
}

TEST_F(ModManagerDialogTest, DeleteOneRemovesThatFileOnly) {
    manifest.addMod("keep.jar", "k");
    writeJar("keep.jar", "k");
    writeJar("extra.jar", "e");
    auto dialog = open();
    button(*row(*dialog, "extra.jar"), "Удалить")->click();
    settle();
    EXPECT_FALSE(present("extra.jar"));
    EXPECT_TRUE(present("keep.jar"));
    EXPECT_EQ(row(*dialog, "extra.jar"), nullptr);
    EXPECT_EQ(hint(*dialog), QStringLiteral("Всё совпадает со сборкой сервера."));
    EXPECT_TRUE(prompts.warnings.isEmpty());
}

TEST_F(ModManagerDialogTest, DeleteAllAsksAndOnlyYesDeletesTheJars) {
    manifest.addMod("keep.jar", "k");
    writeJar("keep.jar", "k");
    writeJar("extra.jar", "e");
    writeJar("notes.txt", "not a jar");
    auto dialog = open();

    prompts.answers = {false};
    button(*dialog, "Удалить все")->click();
    ASSERT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(prompts.questions.first(),
              QStringLiteral("Удалить все моды|Удалить все .jar из папки модов?\nНужные можно "
                             "будет скачать заново кнопкой «Скачать недостающие»."));
    EXPECT_TRUE(present("keep.jar") && present("extra.jar"));

    prompts.answers = {true};
    button(*dialog, "Удалить все")->click();
    settle();
    EXPECT_FALSE(present("keep.jar"));
    EXPECT_FALSE(present("extra.jar"));
    EXPECT_TRUE(present("notes.txt"));
    EXPECT_EQ(meta(*dialog, "keep.jar"), QStringLiteral("1 Б · не хватает"));
    EXPECT_TRUE(button(*dialog, "Скачать недостающие")->isEnabled());
    EXPECT_TRUE(prompts.warnings.isEmpty());
}

TEST_F(ModManagerDialogTest, DownloadsMissingModsVerifiedAndReportsTheOneThatFailed) {
    manifest.addMod("good.jar", "good mod bytes");
    manifest.addMod("tampered.jar", "tampered bytes", sha256Of("what the server promised"));
    auto dialog = open();
    ASSERT_TRUE(button(*dialog, "Скачать недостающие")->isEnabled());

    QSignalSpy finished(dialog.get(), &ModManagerDialog::downloadFinished);
    button(*dialog, "Скачать недостающие")->click();
    EXPECT_EQ(hint(*dialog), QStringLiteral("Скачиваю..."));
    EXPECT_FALSE(button(*dialog, "Скачать недостающие")->isEnabled());
    EXPECT_FALSE(button(*dialog, "Удалить все")->isEnabled());
    ASSERT_TRUE(finished.wait(20000));
    settle();

    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_EQ(contentOf("good.jar"), "good mod bytes");
    EXPECT_FALSE(present("tampered.jar")) << "bytes that fail the SHA-256 never land";
    EXPECT_FALSE(present("tampered.jar.part"));
    ASSERT_EQ(prompts.warnings.size(), 1);
    EXPECT_TRUE(prompts.warnings.first().startsWith(
        QStringLiteral("Моды|Не все моды удалось скачать: ") +
        QString::fromStdString(manifest.server.url("/files/tampered.jar")) + " -> "))
        << prompts.warnings.first().toStdString();
    EXPECT_EQ(manifest.fileRequests(), 1 + ModDownloadJob::kAttempts);
    EXPECT_EQ(meta(*dialog, "good.jar"), QStringLiteral("14 Б · установлен"));
    EXPECT_EQ(meta(*dialog, "tampered.jar"), QStringLiteral("14 Б · не хватает"));
}

TEST_F(ModManagerDialogTest, ADialogClosedDuringADownloadKeepsTheFilesThatArrive) {
    // Served a byte every few milliseconds, so the dialog closes long before the end.
    const std::string body = test::TestHttpServer::patternBytes(300);
    manifest.addRawEntry({{"fileName", "slow.jar"},
                          {"url", QString::fromStdString(manifest.server.url("/trickle/300/5"))},
                          {"sizeBytes", 300},
                          {"sha256", QString::fromStdString(sha256Of(body))}});
    auto dialog = open();
    manifest.server.resetCounters();
    button(*dialog, "Скачать недостающие")->click();
    ASSERT_TRUE(dialog->isDownloading());
    dialog.reset();
    // The job takes the folder's lock before its first request.
    for (int i = 0; i < 500 && manifest.server.requestsServed() == 0; ++i)
        QTest::qWait(10);
    ASSERT_EQ(manifest.server.requestsServed(), 1u);

    // The launch's sync would wait here, and is told so, until the download has landed.
    bool toldToWait = false;
    {
        const auto lock = ModsFolderLock::acquire([&] { toldToWait = true; });
        EXPECT_EQ(contentOf("slow.jar"), body);
    }
    EXPECT_TRUE(toldToWait);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_TRUE(prompts.warnings.isEmpty());
}

TEST(ModManagerFormatSize, UnitsRoundDown) {
    EXPECT_EQ(ModManagerDialog::formatSize(1023), QStringLiteral("1023 Б"));
    EXPECT_EQ(ModManagerDialog::formatSize(1024), QStringLiteral("1 КБ"));
    EXPECT_EQ(ModManagerDialog::formatSize(1048575), QStringLiteral("1023 КБ"));
    EXPECT_EQ(ModManagerDialog::formatSize(5242880), QStringLiteral("5 МБ"));
}

} // namespace
} // namespace qbk
