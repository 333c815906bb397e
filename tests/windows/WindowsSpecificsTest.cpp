#include "platform/ChildProcess.h"
#include "platform/Digest.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

using namespace qbk::platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / pathFromUtf8("qbk-окно-" + name);
    removeTree(dir);
    EXPECT_TRUE(createDirectories(dir));
    return dir;
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::FILE* f = openFile(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string readBytes(const fs::path& path) {
    std::FILE* f = openFile(path, "rb");
    if (!f)
        return {};
    std::string bytes;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

fs::path longCyrillicTree(const fs::path& root) {
    fs::path deep = root;
    while (deep.native().size() < 300)
        deep /= pathFromUtf8("папка-с-длинным-именем");
    return deep;
}

} // namespace

TEST(WindowsLongPaths, FilesPastMaxPathAreWrittenListedMovedAndRemoved) {
    const fs::path root = scratch("длинный");
    const fs::path deep = longCyrillicTree(root);
    ASSERT_GT(deep.native().size(), 260u);
    ASSERT_TRUE(createDirectories(deep));
    writeBytes(deep / pathFromUtf8("мод.jar"), "jar bytes");
    writeBytes(deep / pathFromUtf8("старый.jar"), "old");
    ASSERT_TRUE(moveReplace(deep / pathFromUtf8("мод.jar"), deep / pathFromUtf8("старый.jar")));
    EXPECT_EQ(readBytes(deep / pathFromUtf8("старый.jar")), "jar bytes");
    const auto entries = listDirectory(deep);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(pathToUtf8(entries[0].name), "старый.jar");
    EXPECT_EQ(entries[0].size, 9u);
    EXPECT_EQ(fileSize(deep / pathFromUtf8("старый.jar")), 9u);
    EXPECT_EQ(hashFileHex(deep / pathFromUtf8("старый.jar"), HashAlgorithm::Sha1),
              "01c56e3ae46c962debe4976038d5ba38d1e61ef7"); // sha1sum of "jar bytes"
    EXPECT_TRUE(removeTree(root));
    EXPECT_FALSE(pathExists(root));
}

// The script maps a second drive letter onto another folder (on another file system when it
// can), given in QBK_SECOND_DRIVE.
TEST(WindowsSecondDrive, FilesAndFoldersMoveAcrossDrives) {
    const char* drive = std::getenv("QBK_SECOND_DRIVE");
    if (!drive)
        GTEST_SKIP() << "QBK_SECOND_DRIVE is set by scripts/test-windows";
    const fs::path source = scratch("источник");
    const fs::path target = fs::path(std::string(drive) + "\\") / pathFromUtf8("цель-перенос");
    removeTree(target);
    ASSERT_TRUE(createDirectories(target));

    writeBytes(source / pathFromUtf8("файл.bin"), "file across drives");
    writeBytes(target / pathFromUtf8("файл.bin"), "stale");
    ASSERT_TRUE(moveReplace(source / pathFromUtf8("файл.bin"), target / pathFromUtf8("файл.bin")));
    EXPECT_EQ(readBytes(target / pathFromUtf8("файл.bin")), "file across drives");
    EXPECT_FALSE(pathExists(source / pathFromUtf8("файл.bin")));

    const fs::path folder = source / pathFromUtf8("java-рантайм");
    ASSERT_TRUE(createDirectories(folder / "bin"));
    writeBytes(folder / "bin" / "javaw.exe", "runtime");
    ASSERT_TRUE(moveReplace(folder, target / pathFromUtf8("java-рантайм")));
    EXPECT_EQ(readBytes(target / pathFromUtf8("java-рантайм") / "bin" / "javaw.exe"), "runtime");
    EXPECT_FALSE(pathExists(folder));
    EXPECT_FALSE(pathExists(target / pathFromUtf8("java-рантайм.qbk-move")));
    EXPECT_TRUE(removeTree(target));
    EXPECT_TRUE(removeTree(source));
}

TEST(WindowsChildProcess, OutputGoesToTheLogAndTheEarlyExitCodeIsRead) {
    const fs::path dir = scratch("процесс");
    ChildProcessSpec setup;
    setup.program = L"C:\\windows\\system32\\cmd.exe";
    setup.windowsCommandLine = L"cmd.exe /c \"echo qbk-child-output& echo qbk-error 1>&2& exit 7\"";
    setup.outputFile = dir / pathFromUtf8("журнал.log");
    setup.workingDirectory = dir;
    ChildProcess child;
    std::string error;
    int systemError = 0;
    ASSERT_TRUE(child.start(setup, error, systemError)) << error;
    EXPECT_TRUE(child.isStarted());
    int exitCode = -1;
    ASSERT_EQ(child.waitFor(20s, exitCode), ChildProcess::WaitResult::Exited);
    EXPECT_EQ(exitCode, 7);
    const std::string log = readBytes(setup.outputFile);
    EXPECT_NE(log.find("qbk-child-output"), std::string::npos) << log;
    EXPECT_NE(log.find("qbk-error"), std::string::npos) << log;
    EXPECT_TRUE(removeTree(dir));
}

TEST(WindowsChildProcess, AMissingProgramGivesTheSystemCode) {
    ChildProcessSpec setup;
    setup.program = fs::temp_directory_path() / "qbk-no-such-program.exe";
    ChildProcess child;
    std::string error;
    int systemError = 0;
    EXPECT_FALSE(child.start(setup, error, systemError));
    EXPECT_EQ(systemError, 2); // ERROR_FILE_NOT_FOUND
    EXPECT_FALSE(error.empty());
}

// Expected values come from the host's sha1sum and sha256sum (OpenSSL's results for the same
// bytes), computed when the build is configured.
TEST(WindowsCngDigest, MatchesTheHostHashesOfRealFiles) {
    const fs::path data = QBK_TESTDATA_DIR;
    const fs::path file = data / "neoforge" / "neoforge-21.1.230.json";
    EXPECT_EQ(hashFileHex(file, HashAlgorithm::Sha1), QBK_EXPECTED_SHA1);
    EXPECT_EQ(hashFileHex(file, HashAlgorithm::Sha256), QBK_EXPECTED_SHA256);
    // Fed in uneven pieces, CNG gives the same value.
    const std::string bytes = readBytes(file);
    ASSERT_FALSE(bytes.empty());
    Digest digest(HashAlgorithm::Sha256);
    ASSERT_TRUE(digest.isValid());
    for (std::size_t at = 0, step = 1; at < bytes.size(); at += step, step = step * 3 + 1)
        digest.update(bytes.data() + at, std::min(step, bytes.size() - at));
    EXPECT_EQ(digest.finishHex(), QBK_EXPECTED_SHA256);
}
