#include "mods/ModManagerDialog.h"

#include "mods/ModsFolderLock.h"
#include "tests/support/Digests.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"
#include "tests/support/WidgetLookup.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <gtest/gtest.h>
namespace qbk {
namespace {
using test::byText;
const auto sha256Of = test::sha256Hex;
class ModManagerDialogTest : public ::testing::Test {
protected:
    ModManagerDialogTest() {
        server.get("/api/mods", [this](const auto&, httplib::Response& response, const auto&) {
            response.status = status;
            response.set_content(
                QJsonDocument(QJsonObject{{"mods", manifest}}).toJson().toStdString(),
                "application/json");
        });
    }
    void list(const char* name, const std::string& path, double size = 0, std::string sha = {}) {
        manifest.append(QJsonObject{{"fileName", name},
                                    {"url", QString::fromStdString(server.url(path))},
                                    {"sizeBytes", size},
                                    {"sha256", QString::fromStdString(sha)}});
    }
    // A manifest entry served at /files/<name>, promising the given content's hash or sha.
    void serve(const char* name, const std::string& content, const std::string& sha = {}) {
        server.get(std::string("/files/") + name,
                   [this, content](const auto&, auto& response, const auto&) {
                       ++fileRequests;
                       response.set_content(content, "application/java-archive");
                   });
        list(name, std::string("/files/") + name, content.size(),
             sha.empty() ? sha256Of(content) : sha);
    }
    bool present(const std::string& name) { return std::filesystem::exists(dir / "mods" / name); }
    // A dialog whose manifest request has been answered; its questions are answered from a
    // queue (No once empty), so nothing modal ever opens.
    void open() {
        ModManagerDialog::Config config;
        config.manifestUrl = QString::fromStdString(server.url("/api/mods"));
        config.modsDir = dir / "mods";
        config.target = TargetPlatform::linuxX64();
        config.prompts.ask = [this](QWidget*, const QString&, const QString&) {
            return !answers.isEmpty() && answers.takeFirst();
        };
        config.prompts.warn = [this](QWidget*, const QString& title, const QString& text) {
            warnings << title + '|' + text;
        };
        dialog = std::make_unique<ModManagerDialog>(config);
        EXPECT_FALSE(button("Скачать недостающие")->isEnabled());
        QSignalSpy loaded(dialog.get(), &ModManagerDialog::manifestLoaded);
        EXPECT_TRUE(loaded.wait(10000));
    }
    QPushButton* button(const char* text) { return byText<QPushButton>(dialog.get(), text); }
    QPushButton* removeButton(const char* fileName) {
        return byText<QPushButton>(byText<QLabel>(dialog.get(), fileName)->parentWidget(),
                                   "Удалить");
    }
    // The summary line, then "title: status" of every row shown.
    QString shown() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QString text = dialog->findChild<QLabel*>("hintLabel")->text();
        for (QWidget* row : dialog->findChildren<QWidget*>("modRow"))
            text += "\n" + row->findChild<QLabel*>("modTitle")->text() + ": " +
                    row->findChild<QLabel*>("modMeta")->text();
        return text;
    }
    test::TempDir dir;
    QStringList warnings; // "title|text"
    QList<bool> answers;
    QJsonArray manifest;
    std::atomic<int> status{200}, fileRequests{0};
    test::TestHttpServer server; // stops before the members its handlers read
    std::unique_ptr<ModManagerDialog> dialog;
};
// Deleting one mod or all of them removes only the jars the player chose; the download then
// brings back what the server lists, verified, and names the one that failed. Names that would
// leave the folder are never shown; without the server's list the folder's jars are.
TEST_F(ModManagerDialogTest, DeleteOneDeleteAllDownloadTheMissingVerifiedAndShowTheFolderAlone) {
    serve("good.jar", "good mod bytes");
    list("unsized.jar", "/files/good.jar"); // any size is right, none checked
    serve("tampered.jar", "tampered bytes", sha256Of("what the server promised"));
    for (const char* name : {"..\\Quellbrook.ini", "../escape.jar"})
        list(name, "/files/good.jar");
    for (const char* name : {"good.jar", "extra.jar", "other.jar", "notes.txt"})
        test::writeWholeFile(dir / "mods" / name, "good mod bytes");
    open();
    removeButton("extra.jar")->click();
    EXPECT_FALSE(present("extra.jar"));
    EXPECT_TRUE(present("good.jar") && present("other.jar"));
    answers = {false, true};
    button("Удалить все")->click();
    EXPECT_TRUE(present("good.jar") && present("other.jar"));
    button("Удалить все")->click();
    EXPECT_FALSE(present("good.jar") || present("other.jar") || !present("notes.txt"));
    EXPECT_EQ(shown(), "Не хватает модов: 3 (28 Б). Без них на сервер не пустит.\n"
                       "good.jar: 14 Б · не хватает\nunsized.jar: 0 Б · не хватает\n"
                       "tampered.jar: 14 Б · не хватает");
    QSignalSpy finished(dialog.get(), &ModManagerDialog::downloadFinished);
    button("Скачать недостающие")->click();
    EXPECT_TRUE(shown().startsWith("Скачиваю...\n"));
    EXPECT_FALSE(button("Скачать недостающие")->isEnabled() || button("Удалить все")->isEnabled() ||
                 removeButton("good.jar")->isEnabled());
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_FALSE(finished[0][0].toBool());
    EXPECT_EQ(test::readWholeFile(dir / "mods/good.jar") +
                  test::readWholeFile(dir / "mods/unsized.jar"),
              "good mod bytesgood mod bytes");
    EXPECT_FALSE(present("tampered.jar") || present("tampered.jar.part"));
    EXPECT_EQ(warnings.join("").section(" -> ", 0, 0),
              "Моды|Не все моды удалось скачать: " +
                  QString::fromStdString(server.url("/files/tampered.jar")));
    EXPECT_EQ(fileRequests, 2 + ModDownloadJob::kAttempts);
    EXPECT_EQ(shown().section('\n', 1),
              "good.jar: 14 Б · установлен\nunsized.jar: 0 Б · установлен\n"
              "tampered.jar: 14 Б · не хватает");
    status = 500;
    open();
    EXPECT_TRUE(shown().startsWith("Список сервера недоступен — показываю только то, что "
                                   "стоит локально.\ngood.jar: 14 Б · лишний"));
}
TEST_F(ModManagerDialogTest, ADownloadOutlivesItsDialogAndHoldsTheFolderLockMeanwhile) {
    const std::string body = test::TestHttpServer::patternBytes(300);
    for (int listed = 0; listed < 2; ++listed) // closed long before its end; listed twice
        list("slow.jar", "/trickle/300/5", 300, sha256Of(body));
    open();
    server.resetCounters();
    button("Скачать недостающие")->click();
    ASSERT_TRUE(dialog->isDownloading());
    dialog.reset();
    for (int i = 0; i < 500 && server.requestsServed() == 0; ++i)
        QTest::qWait(10);
    ASSERT_EQ(server.requestsServed(), 1u);
    bool toldToWait = false; // the launch's sync waits, and is told so, until the jar landed
    ModsFolderLock::acquire([&] { toldToWait = true; });
    EXPECT_EQ(test::readWholeFile(dir / "mods/slow.jar"), body);
    EXPECT_TRUE(toldToWait);
    EXPECT_EQ(server.requestsServed(), 1u); // fetched once: two writers would share one file
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_TRUE(warnings.isEmpty());
}
} // namespace
} // namespace qbk
