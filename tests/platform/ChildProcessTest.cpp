// ChildProcess itself runs real processes in the game launch and second-instance suites.
#include "platform/ChildProcess.h"

#include "platform/Platform.h"
#include "tests/support/WindowsCommandLine.h"

#include <gtest/gtest.h>
using namespace qbk::platform;
// Hostile arguments split back exactly under Windows' rules; a plain one is left as it is.
TEST(WindowsArgumentQuoting, HostileArgumentsSplitBackExactly) {
    // clang-format off
    const std::vector<std::wstring> args = {L"-Xmx4096M", L"C:\\Games\\java.exe", L"", L"with space",
        L"quote\"inside", L"C:\\Path With Space\\", L"ends\\", L"two\\\\\"q", L"\"",
        L"\\\\server\\share dir\\", L"tab\there", L"-Dname=a \"b\" c\\"};
    // clang-format on
    std::wstring line;
    for (const std::wstring& argument : args)
        line += quoteWindowsArgument(argument) + L" ";
    EXPECT_EQ(qbk::test::splitWindowsCommandLine(line), args) << wideToUtf8(line);
    EXPECT_EQ(quoteWindowsArgument(L"C:\\Games\\ends\\"), L"C:\\Games\\ends\\");
}
