#include "game/GameLaunch.h"
#include "platform/ChildProcess.h"
#include "platform/Platform.h"
#include "tests/support/WholeFile.h"

#include <cstdlib>
#include <gtest/gtest.h>
using namespace qbk::platform;
using qbk::test::readWholeFile;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
const fs::path cmd = L"C:\\windows\\system32\\cmd.exe", temp = fs::temp_directory_path();
// scripts/test-windows maps QBK_SECOND_DRIVE onto another folder, on another file system
// where it can, so a move between drives must copy.
TEST(WindowsSecondDrive, FilesAndFoldersMoveAcrossDrivesReplacingTheTarget) {
    const char* drive = std::getenv("QBK_SECOND_DRIVE");
    ASSERT_NE(drive, nullptr) << "QBK_SECOND_DRIVE is set by scripts/test-windows";
    const fs::path source = temp / pathFromUtf8("qbk-источник"),
                   target = fs::path(std::string(drive) + "\\") / pathFromUtf8("цель-перенос");
    const fs::path file = pathFromUtf8("файл.bin"), folder = pathFromUtf8("java-рантайм");
    removeTree(source);
    removeTree(target);
    qbk::test::writeWholeFile(source / file, "file across drives");
    qbk::test::writeWholeFile(target / file, "stale");
    qbk::test::writeWholeFile(source / folder / "bin" / "javaw.exe", "runtime");
    ASSERT_TRUE(moveReplace(source / file, target / file) &&
                moveReplace(source / folder, target / folder));
    EXPECT_EQ(readWholeFile(target / file) + readWholeFile(target / folder / "bin" / "javaw.exe"),
              "file across drivesruntime");
    EXPECT_FALSE(pathExists(source / file) || pathExists(source / folder) ||
                 pathExists(target / pathFromUtf8("java-рантайм.qbk-move")));
    EXPECT_TRUE(removeTree(target) && removeTree(source));
}
// cmd.exe stands in for a program and for Java (its quick exit is a failed launch).
TEST(WindowsChildProcess, OutputGoesToTheLogTheExitCodeIsReadAndAQuickGameExitIsAFailure) {
    const fs::path log = temp / pathFromUtf8("qbk-журнал.log"),
                   gameDir = temp / pathFromUtf8("qbk-игра");
    ChildProcess child;
    std::string error;
    int systemError = 0, exitCode = -1;
    ASSERT_TRUE(
        child.start({cmd, {}, {}, log, L"cmd /c \"echo qbk-out& echo qbk-err 1>&2& exit 7\""},
                    error, systemError))
        << error;
    ASSERT_EQ(child.waitFor(20s, exitCode), ChildProcess::WaitResult::Exited);
    EXPECT_EQ(exitCode, 7);
    const std::string text = readWholeFile(log);
    EXPECT_TRUE(text.find("qbk-out") != text.npos && text.find("qbk-err") != text.npos) << text;
    removeFile(log); // cleanup only: Wine may refuse it at once, and the prefix goes anyway
    EXPECT_FALSE(ChildProcess().start({temp / "qbk-none.exe", {}, {}, {}, {}}, error, systemError));
    EXPECT_EQ(systemError, 2); // ERROR_FILE_NOT_FOUND
    removeTree(gameDir);
    qbk::LaunchProfile profile;
    profile.jvmArgs = {L"/c"};
    profile.mainClass = L"echo";
    profile.gameArgs = {L"qbk-game-crashed&", L"exit", L"3"};
    std::wstring failure;
    EXPECT_FALSE(qbk::LaunchGame(cmd, gameDir, profile, failure, 5s));
    EXPECT_NE(failure.find(L"3"), std::wstring::npos) << wideToUtf8(failure);
    EXPECT_NE(qbk::ReadFileTail(gameDir / "logs/launcher_java.log", 4096).find(L"qbk-game-crashed"),
              std::wstring::npos);
    EXPECT_TRUE(removeTree(gameDir));
}
// scripts/test-windows makes QBK_LINKED_TREE hold "link", a host symbolic link to a folder
// outside it, since Wine cannot create junctions: removing the tree removes the link, never
// what it names (a player's mods folder may be such a link).
TEST(WindowsRemoveTree, RemovesALinkInsideTheTreeButNotItsTarget) {
    const char* tree = std::getenv("QBK_LINKED_TREE");
    ASSERT_NE(tree, nullptr) << "QBK_LINKED_TREE is set by scripts/test-windows";
    const fs::path root = pathFromUtf8(tree);
    ASSERT_TRUE(pathExists(root / "link" / "keep.jar"));
    removeTree(root); // Wine cannot remove a host link, so only the target's survival counts
    EXPECT_EQ(readWholeFile(root.parent_path() / "outside" / "keep.jar"), "player's file");
}
