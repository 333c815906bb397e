#include "game/LibraryRules.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace qbk {
namespace {

using nlohmann::json;

bool allowedOnWindows(const char* entry) {
    return IsLibraryAllowed(json::parse(entry), TargetPlatform::windowsX64());
}

TEST(LibraryRules, RuleListsDecideByTheLastApplicableRule) {
    EXPECT_TRUE(allowedOnWindows(R"({"name":"a"})"));
    EXPECT_TRUE(allowedOnWindows(R"("not an object")"));
    EXPECT_FALSE(allowedOnWindows(R"({"rules":[]})"));
    EXPECT_TRUE(allowedOnWindows(
        R"({"rules":[{"action":"allow"},{"action":"disallow","os":{"name":"osx"}}]})"));
    EXPECT_FALSE(allowedOnWindows(R"({"rules":[{"action":"allow","os":{"name":"osx"}}]})"));
    EXPECT_FALSE(
        allowedOnWindows(R"({"rules":[{"action":"allow","os":{"name":"windows","arch":"x86"}}]})"));
    EXPECT_TRUE(allowedOnWindows(R"({"rules":[{"action":"allow","os":{"arch":"x86_64"}}]})"));
    EXPECT_FALSE(allowedOnWindows(
        R"({"rules":[{"action":"allow"},{"action":"disallow","os":{"name":"windows"}}]})"));
    EXPECT_TRUE(allowedOnWindows(R"({"rules":[{}]})")); // action absent means allow
    EXPECT_FALSE(allowedOnWindows(R"({"rules":[{"action":"deny"}]})"));
}

TEST(LibraryRules, FeatureRulesAreInert) {
    EXPECT_FALSE(
        allowedOnWindows(R"({"rules":[{"action":"allow","features":{"is_demo_user":true}}]})"));
    EXPECT_TRUE(allowedOnWindows(
        R"({"rules":[{"action":"allow"},{"action":"disallow","features":{"has_custom_resolution":true}}]})"));
    EXPECT_FALSE(allowedOnWindows(
        R"({"rules":[{"action":"allow","os":{"name":"windows"},"features":{"x":true}}]})"));
}

TEST(LibraryRules, OsNameIsExactAndVersionPatternsAreIgnored) {
    EXPECT_FALSE(allowedOnWindows(R"({"rules":[{"action":"allow","os":{"name":"Windows"}}]})"));
    EXPECT_TRUE(allowedOnWindows(
        R"({"rules":[{"action":"allow","os":{"name":"windows","version":"^10\\."}}]})"));
    const json linuxOnly = json::parse(R"({"rules":[{"action":"allow","os":{"name":"linux"}}]})");
    EXPECT_TRUE(IsLibraryAllowed(linuxOnly, TargetPlatform::linuxX64()));
    EXPECT_FALSE(IsLibraryAllowed(linuxOnly, TargetPlatform::windowsX64()));
}

TEST(LibraryRules, MalformedRulesThrowTypeErrors) {
    EXPECT_THROW(allowedOnWindows(R"({"rules":[{"os":{"name":7}}]})"), json::type_error);
    EXPECT_THROW(allowedOnWindows(R"({"rules":[{"os":{"arch":false}}]})"), json::type_error);
    EXPECT_THROW(allowedOnWindows(R"({"rules":[{"action":1}]})"), json::type_error);
    EXPECT_THROW(allowedOnWindows(R"({"rules":["allow"]})"), json::type_error);
}

json realVersionJson() {
    std::ifstream in(QBK_TESTDATA_DIR "/minecraft/1.21.1.json");
    return json::parse(in);
}

std::set<std::string> allowedLibraryNames(const TargetPlatform& target) {
    std::set<std::string> names;
    const json version = realVersionJson();
    for (const auto& library : version.at("libraries"))
        if (IsLibraryAllowed(library, target))
            names.insert(library.at("name").get<std::string>());
    return names;
}

std::set<std::string> nativesIn(const std::set<std::string>& names) {
    std::set<std::string> natives;
    for (const auto& name : names)
        if (name.find(":natives-") != std::string::npos)
            natives.insert(name.substr(name.find(":natives-") + 1));
    return natives;
}

TEST(LibraryRules, RealVersionJsonGivesTheWindowsArtifactsForWindows) {
    const auto names = allowedLibraryNames(TargetPlatform::windowsX64());
    // Mojang gates the arm64 and x86 natives by OS name only, so they come along.
    EXPECT_EQ(nativesIn(names), (std::set<std::string>{"natives-windows", "natives-windows-arm64",
                                                       "natives-windows-x86"}));
    EXPECT_TRUE(names.count("org.lwjgl:lwjgl:3.3.3:natives-windows"));
    EXPECT_FALSE(names.count("org.lwjgl:lwjgl:3.3.3:natives-linux"));
    EXPECT_FALSE(names.count("ca.weblite:java-objc-bridge:1.1"));
    EXPECT_FALSE(names.count("io.netty:netty-transport-native-epoll:4.1.97.Final:linux-x86_64"));
    EXPECT_TRUE(names.count("com.google.code.gson:gson:2.10.1"));

    int windowsNatives = 0;
    for (const auto& name : names)
        windowsNatives += name.ends_with(":natives-windows");
    EXPECT_EQ(windowsNatives, 8);
}

TEST(LibraryRules, RealVersionJsonGivesTheLinuxArtifactsForLinux) {
    const auto names = allowedLibraryNames(TargetPlatform::linuxX64());
    EXPECT_EQ(nativesIn(names), std::set<std::string>{"natives-linux"});
    EXPECT_TRUE(names.count("org.lwjgl:lwjgl-glfw:3.3.3:natives-linux"));
    EXPECT_TRUE(names.count("io.netty:netty-transport-native-epoll:4.1.97.Final:linux-x86_64"));
    EXPECT_FALSE(names.count("org.lwjgl:lwjgl:3.3.3:natives-windows"));

    const auto windows = allowedLibraryNames(TargetPlatform::windowsX64());
    std::set<std::string> common;
    for (const auto& name : names)
        if (windows.count(name))
            common.insert(name);
    EXPECT_EQ(common.size(), 97u - 51u); // every library without rules, on both
}

} // namespace
} // namespace qbk
