#include "platform/Platform.h"

#include <gtest/gtest.h>

using namespace qbk::platform;

TEST(TextConversion, CyrillicAndAstralTextRoundTrips) {
    const std::string utf8 = "Лаунчер \xF0\x9F\x8E\xAE игра";
    const std::wstring wide = utf8ToWide(utf8);
    EXPECT_EQ(wide.substr(0, 7), L"Лаунчер");
    EXPECT_EQ(wideToUtf8(wide), utf8);
}

TEST(TextConversion, InvalidInputGivesEmptyText) {
    EXPECT_TRUE(utf8ToWide("").empty());
    EXPECT_TRUE(utf8ToWide("abc\xC3").empty());          // cut multi-byte sequence
    EXPECT_TRUE(utf8ToWide("\xC0\xAF").empty());         // overlong "/"
    EXPECT_TRUE(utf8ToWide("\xED\xA0\x80").empty());     // encoded surrogate
    EXPECT_TRUE(utf8ToWide("\xF4\x90\x80\x80").empty()); // beyond U+10FFFF
    EXPECT_TRUE(utf8ToWide("ok\xFFno").empty());
}

TEST(TextConversion, PathsCrossAsUtf8) {
    const auto path = pathFromUtf8("папка/файл.jar");
    EXPECT_EQ(path.filename(), pathFromUtf8("файл.jar"));
    EXPECT_EQ(pathToUtf8(path), "папка/файл.jar");
}
