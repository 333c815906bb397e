#include "game/LaunchProfile.h"

#include "app/Endpoints.h"
#include "game/MinecraftInstaller.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace qbk {
namespace {

namespace fs = std::filesystem;

// Library paths of the real version JSONs in the order the classpath must list them: every
// NeoForge library first, then the vanilla ones the target admits whose group, artifact and
// classifier NeoForge has not already named.
const std::vector<std::string> kNeoForgeLibraries = {
    "net/neoforged/fancymodloader/earlydisplay/4.0.42/earlydisplay-4.0.42.jar",
    "net/neoforged/fancymodloader/loader/4.0.42/loader-4.0.42.jar",
    "net/neoforged/accesstransformers/at-modlauncher/10.0.1/at-modlauncher-10.0.1.jar",
    "net/neoforged/accesstransformers/10.0.1/accesstransformers-10.0.1.jar",
    "net/neoforged/bus/8.0.5/bus-8.0.5.jar",
    "net/neoforged/coremods/7.0.3/coremods-7.0.3.jar",
    "cpw/mods/modlauncher/11.0.5/modlauncher-11.0.5.jar",
    "net/neoforged/mergetool/2.0.0/mergetool-2.0.0-api.jar",
    "com/electronwill/night-config/toml/3.8.3/toml-3.8.3.jar",
    "com/electronwill/night-config/core/3.8.3/core-3.8.3.jar",
    "net/neoforged/JarJarSelector/0.4.1/JarJarSelector-0.4.1.jar",
    "net/neoforged/JarJarMetadata/0.4.1/JarJarMetadata-0.4.1.jar",
    "org/apache/maven/maven-artifact/3.8.5/maven-artifact-3.8.5.jar",
    "net/jodah/typetools/0.6.3/typetools-0.6.3.jar",
    "net/minecrell/terminalconsoleappender/1.3.0/terminalconsoleappender-1.3.0.jar",
    "net/fabricmc/sponge-mixin/0.15.2+mixin.0.8.7/sponge-mixin-0.15.2+mixin.0.8.7.jar",
    "org/openjdk/nashorn/nashorn-core/15.4/nashorn-core-15.4.jar",
    "org/apache/commons/commons-lang3/3.14.0/commons-lang3-3.14.0.jar",
    "cpw/mods/bootstraplauncher/2.0.2/bootstraplauncher-2.0.2.jar",
    "cpw/mods/securejarhandler/3.0.8/securejarhandler-3.0.8.jar",
    "org/ow2/asm/asm-commons/9.8/asm-commons-9.8.jar",
    "org/ow2/asm/asm-util/9.8/asm-util-9.8.jar",
    "org/ow2/asm/asm-analysis/9.8/asm-analysis-9.8.jar",
    "org/ow2/asm/asm-tree/9.8/asm-tree-9.8.jar",
    "org/ow2/asm/asm/9.8/asm-9.8.jar",
    "net/neoforged/JarJarFileSystems/0.4.1/JarJarFileSystems-0.4.1.jar",
    "net/sf/jopt-simple/jopt-simple/5.0.4/jopt-simple-5.0.4.jar",
    "org/slf4j/slf4j-api/2.0.9/slf4j-api-2.0.9.jar",
    "org/antlr/antlr4-runtime/4.13.1/antlr4-runtime-4.13.1.jar",
    "com/mojang/logging/1.2.7/logging-1.2.7.jar",
    "org/apache/logging/log4j/log4j-slf4j2-impl/2.22.1/log4j-slf4j2-impl-2.22.1.jar",
    "org/apache/logging/log4j/log4j-core/2.22.1/log4j-core-2.22.1.jar",
    "org/apache/logging/log4j/log4j-api/2.22.1/log4j-api-2.22.1.jar",
    "org/jline/jline-reader/3.20.0/jline-reader-3.20.0.jar",
    "org/jline/jline-terminal/3.20.0/jline-terminal-3.20.0.jar",
    "commons-io/commons-io/2.15.1/commons-io-2.15.1.jar",
    "net/minecraftforge/srgutils/0.4.15/srgutils-0.4.15.jar",
    "com/google/guava/guava/32.1.2-jre/guava-32.1.2-jre.jar",
    "com/google/guava/failureaccess/1.0.1/failureaccess-1.0.1.jar",
    "com/google/guava/listenablefuture/9999.0-empty-to-avoid-conflict-with-guava/"
    "listenablefuture-9999.0-empty-to-avoid-conflict-with-guava.jar",
    "com/google/code/findbugs/jsr305/3.0.2/jsr305-3.0.2.jar",
    "org/checkerframework/checker-qual/3.33.0/checker-qual-3.33.0.jar",
    "com/google/errorprone/error_prone_annotations/2.18.0/error_prone_annotations-2.18.0.jar",
    "com/google/j2objc/j2objc-annotations/2.8/j2objc-annotations-2.8.jar",
    "com/google/code/gson/gson/2.10.1/gson-2.10.1.jar",
    "org/codehaus/plexus/plexus-utils/3.3.0/plexus-utils-3.3.0.jar",
    "com/machinezoo/noexception/noexception/1.7.1/noexception-1.7.1.jar",
};

// Vanilla 1.21.1 on Windows: no macOS or Linux natives; gson, guava, failureaccess, logging,
// commons-io, jopt-simple, commons-lang3, slf4j and log4j come from NeoForge already.
const std::vector<std::string> kVanillaWindowsLibraries = {
    "com/github/oshi/oshi-core/6.4.10/oshi-core-6.4.10.jar",
    "com/ibm/icu/icu4j/73.2/icu4j-73.2.jar",
    "com/mojang/authlib/6.0.54/authlib-6.0.54.jar",
    "com/mojang/blocklist/1.0.10/blocklist-1.0.10.jar",
    "com/mojang/brigadier/1.3.10/brigadier-1.3.10.jar",
    "com/mojang/datafixerupper/8.0.16/datafixerupper-8.0.16.jar",
    "com/mojang/patchy/2.2.10/patchy-2.2.10.jar",
    "com/mojang/text2speech/1.17.9/text2speech-1.17.9.jar",
    "commons-codec/commons-codec/1.16.0/commons-codec-1.16.0.jar",
    "commons-logging/commons-logging/1.2/commons-logging-1.2.jar",
    "io/netty/netty-buffer/4.1.97.Final/netty-buffer-4.1.97.Final.jar",
    "io/netty/netty-codec/4.1.97.Final/netty-codec-4.1.97.Final.jar",
    "io/netty/netty-common/4.1.97.Final/netty-common-4.1.97.Final.jar",
    "io/netty/netty-handler/4.1.97.Final/netty-handler-4.1.97.Final.jar",
    "io/netty/netty-resolver/4.1.97.Final/netty-resolver-4.1.97.Final.jar",
    "io/netty/netty-transport-classes-epoll/4.1.97.Final/"
    "netty-transport-classes-epoll-4.1.97.Final.jar",
    "io/netty/netty-transport-native-unix-common/4.1.97.Final/"
    "netty-transport-native-unix-common-4.1.97.Final.jar",
    "io/netty/netty-transport/4.1.97.Final/netty-transport-4.1.97.Final.jar",
    "it/unimi/dsi/fastutil/8.5.12/fastutil-8.5.12.jar",
    "net/java/dev/jna/jna-platform/5.14.0/jna-platform-5.14.0.jar",
    "net/java/dev/jna/jna/5.14.0/jna-5.14.0.jar",
    "org/apache/commons/commons-compress/1.26.0/commons-compress-1.26.0.jar",
    "org/apache/httpcomponents/httpclient/4.5.13/httpclient-4.5.13.jar",
    "org/apache/httpcomponents/httpcore/4.4.16/httpcore-4.4.16.jar",
    "org/jcraft/jorbis/0.0.17/jorbis-0.0.17.jar",
    "org/joml/joml/1.10.5/joml-1.10.5.jar",
    "org/lwjgl/lwjgl-freetype/3.3.3/lwjgl-freetype-3.3.3.jar",
    "org/lwjgl/lwjgl-freetype/3.3.3/lwjgl-freetype-3.3.3-natives-windows.jar",
    "org/lwjgl/lwjgl-freetype/3.3.3/lwjgl-freetype-3.3.3-natives-windows-arm64.jar",
    "org/lwjgl/lwjgl-freetype/3.3.3/lwjgl-freetype-3.3.3-natives-windows-x86.jar",
    "org/lwjgl/lwjgl-glfw/3.3.3/lwjgl-glfw-3.3.3.jar",
    "org/lwjgl/lwjgl-glfw/3.3.3/lwjgl-glfw-3.3.3-natives-windows.jar",
    "org/lwjgl/lwjgl-glfw/3.3.3/lwjgl-glfw-3.3.3-natives-windows-arm64.jar",
    "org/lwjgl/lwjgl-glfw/3.3.3/lwjgl-glfw-3.3.3-natives-windows-x86.jar",
    "org/lwjgl/lwjgl-jemalloc/3.3.3/lwjgl-jemalloc-3.3.3.jar",
    "org/lwjgl/lwjgl-jemalloc/3.3.3/lwjgl-jemalloc-3.3.3-natives-windows.jar",
    "org/lwjgl/lwjgl-jemalloc/3.3.3/lwjgl-jemalloc-3.3.3-natives-windows-arm64.jar",
    "org/lwjgl/lwjgl-jemalloc/3.3.3/lwjgl-jemalloc-3.3.3-natives-windows-x86.jar",
    "org/lwjgl/lwjgl-openal/3.3.3/lwjgl-openal-3.3.3.jar",
    "org/lwjgl/lwjgl-openal/3.3.3/lwjgl-openal-3.3.3-natives-windows.jar",
    "org/lwjgl/lwjgl-openal/3.3.3/lwjgl-openal-3.3.3-natives-windows-arm64.jar",
    "org/lwjgl/lwjgl-openal/3.3.3/lwjgl-openal-3.3.3-natives-windows-x86.jar",
    "org/lwjgl/lwjgl-opengl/3.3.3/lwjgl-opengl-3.3.3.jar",
    "org/lwjgl/lwjgl-opengl/3.3.3/lwjgl-opengl-3.3.3-natives-windows.jar",
    "org/lwjgl/lwjgl-opengl/3.3.3/lwjgl-opengl-3.3.3-natives-windows-arm64.jar",
    "org/lwjgl/lwjgl-opengl/3.3.3/lwjgl-opengl-3.3.3-natives-windows-x86.jar",
    "org/lwjgl/lwjgl-stb/3.3.3/lwjgl-stb-3.3.3.jar",
    "org/lwjgl/lwjgl-stb/3.3.3/lwjgl-stb-3.3.3-natives-windows.jar",
    "org/lwjgl/lwjgl-stb/3.3.3/lwjgl-stb-3.3.3-natives-windows-arm64.jar",
    "org/lwjgl/lwjgl-stb/3.3.3/lwjgl-stb-3.3.3-natives-windows-x86.jar",
    "org/lwjgl/lwjgl-tinyfd/3.3.3/lwjgl-tinyfd-3.3.3.jar",
    "org/lwjgl/lwjgl-tinyfd/3.3.3/lwjgl-tinyfd-3.3.3-natives-windows.jar",
    "org/lwjgl/lwjgl-tinyfd/3.3.3/lwjgl-tinyfd-3.3.3-natives-windows-arm64.jar",
    "org/lwjgl/lwjgl-tinyfd/3.3.3/lwjgl-tinyfd-3.3.3-natives-windows-x86.jar",
    "org/lwjgl/lwjgl/3.3.3/lwjgl-3.3.3.jar",
    "org/lwjgl/lwjgl/3.3.3/lwjgl-3.3.3-natives-windows.jar",
    "org/lwjgl/lwjgl/3.3.3/lwjgl-3.3.3-natives-windows-arm64.jar",
    "org/lwjgl/lwjgl/3.3.3/lwjgl-3.3.3-natives-windows-x86.jar",
    "org/lz4/lz4-java/1.8.0/lz4-java-1.8.0.jar",
};

// Vanilla 1.21.1 on Linux: the epoll and natives-linux jars instead of the Windows natives.
const std::vector<std::string> kVanillaLinuxLibraries = {
    "com/github/oshi/oshi-core/6.4.10/oshi-core-6.4.10.jar",
    "com/ibm/icu/icu4j/73.2/icu4j-73.2.jar",
    "com/mojang/authlib/6.0.54/authlib-6.0.54.jar",
    "com/mojang/blocklist/1.0.10/blocklist-1.0.10.jar",
    "com/mojang/brigadier/1.3.10/brigadier-1.3.10.jar",
    "com/mojang/datafixerupper/8.0.16/datafixerupper-8.0.16.jar",
    "com/mojang/patchy/2.2.10/patchy-2.2.10.jar",
    "com/mojang/text2speech/1.17.9/text2speech-1.17.9.jar",
    "commons-codec/commons-codec/1.16.0/commons-codec-1.16.0.jar",
    "commons-logging/commons-logging/1.2/commons-logging-1.2.jar",
    "io/netty/netty-buffer/4.1.97.Final/netty-buffer-4.1.97.Final.jar",
    "io/netty/netty-codec/4.1.97.Final/netty-codec-4.1.97.Final.jar",
    "io/netty/netty-common/4.1.97.Final/netty-common-4.1.97.Final.jar",
    "io/netty/netty-handler/4.1.97.Final/netty-handler-4.1.97.Final.jar",
    "io/netty/netty-resolver/4.1.97.Final/netty-resolver-4.1.97.Final.jar",
    "io/netty/netty-transport-classes-epoll/4.1.97.Final/"
    "netty-transport-classes-epoll-4.1.97.Final.jar",
    "io/netty/netty-transport-native-epoll/4.1.97.Final/"
    "netty-transport-native-epoll-4.1.97.Final-linux-aarch_64.jar",
    "io/netty/netty-transport-native-epoll/4.1.97.Final/"
    "netty-transport-native-epoll-4.1.97.Final-linux-x86_64.jar",
    "io/netty/netty-transport-native-unix-common/4.1.97.Final/"
    "netty-transport-native-unix-common-4.1.97.Final.jar",
    "io/netty/netty-transport/4.1.97.Final/netty-transport-4.1.97.Final.jar",
    "it/unimi/dsi/fastutil/8.5.12/fastutil-8.5.12.jar",
    "net/java/dev/jna/jna-platform/5.14.0/jna-platform-5.14.0.jar",
    "net/java/dev/jna/jna/5.14.0/jna-5.14.0.jar",
    "org/apache/commons/commons-compress/1.26.0/commons-compress-1.26.0.jar",
    "org/apache/httpcomponents/httpclient/4.5.13/httpclient-4.5.13.jar",
    "org/apache/httpcomponents/httpcore/4.4.16/httpcore-4.4.16.jar",
    "org/jcraft/jorbis/0.0.17/jorbis-0.0.17.jar",
    "org/joml/joml/1.10.5/joml-1.10.5.jar",
    "org/lwjgl/lwjgl-freetype/3.3.3/lwjgl-freetype-3.3.3.jar",
    "org/lwjgl/lwjgl-freetype/3.3.3/lwjgl-freetype-3.3.3-natives-linux.jar",
    "org/lwjgl/lwjgl-glfw/3.3.3/lwjgl-glfw-3.3.3.jar",
    "org/lwjgl/lwjgl-glfw/3.3.3/lwjgl-glfw-3.3.3-natives-linux.jar",
    "org/lwjgl/lwjgl-jemalloc/3.3.3/lwjgl-jemalloc-3.3.3.jar",
    "org/lwjgl/lwjgl-jemalloc/3.3.3/lwjgl-jemalloc-3.3.3-natives-linux.jar",
    "org/lwjgl/lwjgl-openal/3.3.3/lwjgl-openal-3.3.3.jar",
    "org/lwjgl/lwjgl-openal/3.3.3/lwjgl-openal-3.3.3-natives-linux.jar",
    "org/lwjgl/lwjgl-opengl/3.3.3/lwjgl-opengl-3.3.3.jar",
    "org/lwjgl/lwjgl-opengl/3.3.3/lwjgl-opengl-3.3.3-natives-linux.jar",
    "org/lwjgl/lwjgl-stb/3.3.3/lwjgl-stb-3.3.3.jar",
    "org/lwjgl/lwjgl-stb/3.3.3/lwjgl-stb-3.3.3-natives-linux.jar",
    "org/lwjgl/lwjgl-tinyfd/3.3.3/lwjgl-tinyfd-3.3.3.jar",
    "org/lwjgl/lwjgl-tinyfd/3.3.3/lwjgl-tinyfd-3.3.3-natives-linux.jar",
    "org/lwjgl/lwjgl/3.3.3/lwjgl-3.3.3.jar",
    "org/lwjgl/lwjgl/3.3.3/lwjgl-3.3.3-natives-linux.jar",
    "org/lz4/lz4-java/1.8.0/lz4-java-1.8.0.jar",
};

using Strings = std::vector<std::wstring>;

std::wstring wide(const std::string& utf8) {
    return platform::utf8ToWide(utf8);
}

std::wstring widePath(const fs::path& path) {
    return platform::utf8ToWide(platform::pathToUtf8(path));
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::wstring joined(const Strings& parts, const std::wstring& separator) {
    std::wstring text;
    for (const std::wstring& part : parts)
        text += (text.empty() ? L"" : separator) + part;
    return text;
}

// Element by element, so a difference names its position.
void expectSameLines(const Strings& actual, const Strings& expected, const std::string& what) {
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i)
        EXPECT_EQ(platform::wideToUtf8(actual[i]), platform::wideToUtf8(expected[i]))
            << what << " line " << i;
    EXPECT_EQ(actual.size(), expected.size()) << what;
}

class LaunchProfileTest : public ::testing::Test {
protected:
    test::TempDir dir{"qbk-profile"};
    fs::path gameDir = dir / "Игры Quellbrook" / "minecraft";

    MinecraftInstaller installer(const TargetPlatform& target) {
        // The assembly reads files only; no host is ever asked.
        MinecraftInstaller result(gameDir, dir / "runtime" / "java21", Endpoints{}, target);
        result.mcVersion = "1.21.1";
        result.neoForgeVersion = "21.1.230";
        return result;
    }
    void placeRealVersionJsons() {
        const fs::path real(QBK_TESTDATA_DIR);
        writeText(gameDir / "versions" / "neoforge-21.1.230" / "neoforge-21.1.230.json",
                  readText(real / "neoforge" / "neoforge-21.1.230.json"));
        writeText(gameDir / "versions" / "1.21.1" / "1.21.1.json",
                  readText(real / "minecraft" / "1.21.1.json"));
    }
    void placeVersionJsons(const std::string& neoForge, const std::string& vanilla) {
        writeText(gameDir / "versions" / "neoforge-21.1.230" / "neoforge-21.1.230.json", neoForge);
        writeText(gameDir / "versions" / "1.21.1" / "1.21.1.json", vanilla);
    }
    std::wstring library(const std::string& relative) const {
        return widePath(gameDir / "libraries" / fs::path(relative).make_preferred());
    }
    Strings classpathOf(const std::vector<std::string>& vanillaLibraries) const {
        Strings entries;
        for (const auto& relative : kNeoForgeLibraries)
            entries.push_back(library(relative));
        for (const auto& relative : vanillaLibraries)
            entries.push_back(library(relative));
        return entries;
    }
    // The JVM and game arguments the real JSONs give, in order: heap and encoding first, then
    // the vanilla templates that the target admits, then NeoForge's.
    Strings expectedJvmArgs(const TargetPlatform& target, const std::wstring& classpath) const {
        const std::wstring natives = widePath(gameDir / "natives");
        const std::wstring libraries = widePath(gameDir / "libraries");
        const std::wstring sep(1, static_cast<wchar_t>(target.classpathSeparator));
        Strings args = {L"-Xms1024M", L"-Xmx4096M", L"-Dfile.encoding=UTF-8"};
        if (target.osName == "windows")
            args.push_back(L"-XX:HeapDumpPath=MojangTricksIntelDriversForPerformance_javaw.exe_"
                           L"minecraft.exe.heapdump");
        const Strings rest = {
            L"-Djava.library.path=" + natives,
            L"-Djna.tmpdir=" + natives,
            L"-Dorg.lwjgl.system.SharedLibraryExtractPath=" + natives,
            L"-Dio.netty.native.workdir=" + natives,
            L"-Dminecraft.launcher.brand=Quellbrook",
            L"-Dminecraft.launcher.version=1.0",
            L"-cp",
            classpath,
            L"-Djava.net.preferIPv6Addresses=system",
            L"-DignoreList=client-extra,neoforge-21.1.230.jar",
            L"-DlibraryDirectory=" + libraries,
            L"-p",
            libraries + L"/cpw/mods/bootstraplauncher/2.0.2/bootstraplauncher-2.0.2.jar" + sep +
                libraries + L"/cpw/mods/securejarhandler/3.0.8/securejarhandler-3.0.8.jar" + sep +
                libraries + L"/org/ow2/asm/asm-commons/9.8/asm-commons-9.8.jar" + sep + libraries +
                L"/org/ow2/asm/asm-util/9.8/asm-util-9.8.jar" + sep + libraries +
                L"/org/ow2/asm/asm-analysis/9.8/asm-analysis-9.8.jar" + sep + libraries +
                L"/org/ow2/asm/asm-tree/9.8/asm-tree-9.8.jar" + sep + libraries +
                L"/org/ow2/asm/asm/9.8/asm-9.8.jar" + sep + libraries +
                L"/net/neoforged/JarJarFileSystems/0.4.1/JarJarFileSystems-0.4.1.jar",
            L"--add-modules",
            L"ALL-MODULE-PATH",
            L"--add-opens",
            L"java.base/java.util.jar=cpw.mods.securejarhandler",
            L"--add-opens",
            L"java.base/java.lang.invoke=cpw.mods.securejarhandler",
            L"--add-exports",
            L"java.base/sun.security.util=cpw.mods.securejarhandler",
            L"--add-exports",
            L"jdk.naming.dns/com.sun.jndi.dns=java.naming"};
        args.insert(args.end(), rest.begin(), rest.end());
        return args;
    }
    Strings expectedGameArgs(const std::wstring& player, const std::wstring& uuid,
                             const std::wstring& token) const {
        return {L"--username",
                player,
                L"--version",
                L"neoforge-21.1.230",
                L"--gameDir",
                widePath(gameDir),
                L"--assetsDir",
                widePath(gameDir / "assets"),
                L"--assetIndex",
                L"17",
                L"--uuid",
                uuid,
                L"--accessToken",
                token,
                L"--clientId",
                L"0",
                L"--xuid",
                L"0",
                L"--userType",
                L"legacy",
                L"--versionType",
                L"release",
                L"--fml.neoForgeVersion",
                L"21.1.230",
                L"--fml.fmlVersion",
                L"4.0.42",
                L"--fml.mcVersion",
                L"1.21.1",
                L"--fml.neoFormVersion",
                L"20240808.144430",
                L"--launchTarget",
                L"forgeclient"};
    }
    void checkRealProfile(const TargetPlatform& target,
                          const std::vector<std::string>& vanillaLibraries) {
        placeRealVersionJsons();
        MinecraftInstaller game = installer(target);
        LaunchOptions options;
        options.playerName = L"Игрок_1";
        options.uuid = L"8667ba71-b85a-4004-af54-457a9734eed7";
        options.accessToken = L"tok-123";
        LaunchProfile profile;
        ASSERT_TRUE(BuildLaunchProfile(game, target, options, profile))
            << platform::wideToUtf8(game.lastError);

        EXPECT_EQ(profile.mainClass, L"cpw.mods.bootstraplauncher.BootstrapLauncher");
        const auto cp = std::find(profile.jvmArgs.begin(), profile.jvmArgs.end(), L"-cp");
        ASSERT_NE(cp, profile.jvmArgs.end());
        ASSERT_NE(cp + 1, profile.jvmArgs.end());
        // inheritsFrom is set, so the vanilla client jar is not on the classpath.
        // Joined rather than split: on a Windows host a Linux classpath's ":" also occurs in
        // the drive letters of its entries.
        const std::wstring separator(1, static_cast<wchar_t>(target.classpathSeparator));
        EXPECT_EQ(platform::wideToUtf8(*(cp + 1)),
                  platform::wideToUtf8(joined(classpathOf(vanillaLibraries), separator)));
        expectSameLines(profile.jvmArgs, expectedJvmArgs(target, *(cp + 1)), "jvm");
        expectSameLines(profile.gameArgs,
                        expectedGameArgs(options.playerName, options.uuid, options.accessToken),
                        "game");
    }
};

TEST_F(LaunchProfileTest, RealJsonsForWindows) {
    checkRealProfile(TargetPlatform::windowsX64(), kVanillaWindowsLibraries);
}

TEST_F(LaunchProfileTest, RealJsonsForLinux) {
    checkRealProfile(TargetPlatform::linuxX64(), kVanillaLinuxLibraries);
}

TEST_F(LaunchProfileTest, EmptySessionGetsZeroUuidAndTokenAndOneClasspathOption) {
    placeRealVersionJsons();
    const TargetPlatform target = TargetPlatform::windowsX64();
    MinecraftInstaller game = installer(target);
    LaunchOptions options;
    options.uuid.clear();
    options.accessToken.clear();
    options.maxRamMb = 6144;
    options.minRamMb = 2048;
    LaunchProfile profile;
    ASSERT_TRUE(BuildLaunchProfile(game, target, options, profile));
    expectSameLines(profile.gameArgs,
                    expectedGameArgs(L"Player", L"00000000-0000-0000-0000-000000000000", L"0"),
                    "game");
    ASSERT_GE(profile.jvmArgs.size(), 3u);
    EXPECT_EQ(profile.jvmArgs[0], L"-Xms2048M");
    EXPECT_EQ(profile.jvmArgs[1], L"-Xmx6144M");
    EXPECT_EQ(profile.jvmArgs[2], L"-Dfile.encoding=UTF-8");
    EXPECT_EQ(std::count(profile.jvmArgs.begin(), profile.jvmArgs.end(), L"-cp"), 1);
    for (const auto& argument : profile.jvmArgs)
        EXPECT_EQ(argument.find(L"${"), std::wstring::npos) << platform::wideToUtf8(argument);
}

TEST_F(LaunchProfileTest, ClasspathPrecedenceRulesAndLegacyArguments) {
    // No inheritsFrom and no argument lists: the client jar closes the classpath, the legacy
    // string supplies the game arguments and "-cp" is added at the end.
    placeVersionJsons(R"({
        "libraries": [
            {"name": "org.example:shared:2.0",
             "downloads": {"artifact": {"path": "org/example/shared/2.0/shared-2.0.jar"}}},
            {"name": "org.example:macOnly:2.0", "rules": [{"action": "allow", "os": {"name": "osx"}}]},
            {"name": "org.example:noDownloads:1.5:natives-windows"},
            {"name": "org.example:escape:1.0",
             "downloads": {"artifact": {"path": "../../outside.jar"}}},
            {"name": ""},
            {"name": "short:name"}
        ]})",
                      R"({
        "mainClass": "net.minecraft.client.main.Main",
        "assetIndex": {"url": "https://example.invalid/index.json"},
        "minecraftArguments": "--username ${auth_player_name}  --quickPlayPath ${quickPlayPath}\t--assetIndex ${assets_index_name} --unclosed ${game_directory",
        "libraries": [
            {"name": "org.example:shared:1.0",
             "downloads": {"artifact": {"path": "org/example/shared/1.0/shared-1.0.jar"}}},
            {"name": "org.example:shared:1.0:natives-windows",
             "downloads": {"artifact": {"path": "org/example/shared/1.0/shared-1.0-natives-windows.jar"}}},
            {"name": "org.example:macOnly:1.0",
             "downloads": {"artifact": {"path": "org/example/macOnly/1.0/macOnly-1.0.jar"}}}
        ]})");
    const TargetPlatform target = TargetPlatform::windowsX64();
    MinecraftInstaller game = installer(target);
    LaunchProfile profile;
    ASSERT_TRUE(BuildLaunchProfile(game, target, LaunchOptions(), profile))
        << platform::wideToUtf8(game.lastError);

    EXPECT_EQ(profile.mainClass, L"net.minecraft.client.main.Main");
    const std::wstring sep(1, L';');
    const std::wstring classpath =
        library("org/example/shared/2.0/shared-2.0.jar") + sep +
        library("org/example/noDownloads/1.5/noDownloads-1.5-natives-windows.jar") + sep +
        library("org/example/shared/1.0/shared-1.0-natives-windows.jar") + sep +
        library("org/example/macOnly/1.0/macOnly-1.0.jar") + sep +
        widePath(gameDir / "versions" / "1.21.1" / "1.21.1.jar");
    expectSameLines(profile.jvmArgs,
                    {L"-Xms1024M", L"-Xmx4096M", L"-Dfile.encoding=UTF-8", L"-cp", classpath},
                    "jvm");
    // The quick-play value is dropped, its option name stays; the index id defaults to the
    // version; an unclosed placeholder drops its token.
    expectSameLines(
        profile.gameArgs,
        {L"--username", L"Player", L"--quickPlayPath", L"--assetIndex", L"1.21.1", L"--unclosed"},
        "game");
}

TEST_F(LaunchProfileTest, InsertedValuesAreNeverExpandedAgain) {
    placeRealVersionJsons();
    const TargetPlatform target = TargetPlatform::linuxX64();
    MinecraftInstaller game = installer(target);
    LaunchOptions options;
    options.playerName = L"${auth_access_token}";
    options.accessToken = L"secret";
    LaunchProfile profile;
    ASSERT_TRUE(BuildLaunchProfile(game, target, options, profile));
    ASSERT_GE(profile.gameArgs.size(), 2u);
    EXPECT_EQ(profile.gameArgs[1], L"${auth_access_token}");
    EXPECT_EQ(std::count(profile.gameArgs.begin(), profile.gameArgs.end(), L"secret"), 1);
}

TEST_F(LaunchProfileTest, FailuresCarryTheirMessagesAndNeverThrow) {
    const TargetPlatform target = TargetPlatform::windowsX64();
    LaunchProfile profile;
    {
        MinecraftInstaller game = installer(target);
        EXPECT_FALSE(BuildLaunchProfile(game, target, LaunchOptions(), profile));
        EXPECT_EQ(game.lastError, L"Не найден JSON NeoForge — сначала установи NeoForge.");
    }
    writeText(gameDir / "versions" / "neoforge-21.1.230" / "neoforge-21.1.230.json", "{}");
    {
        MinecraftInstaller game = installer(target);
        EXPECT_FALSE(BuildLaunchProfile(game, target, LaunchOptions(), profile));
        EXPECT_EQ(game.lastError, L"Не найден JSON Minecraft 1.21.1");
    }
    writeText(gameDir / "versions" / "1.21.1" / "1.21.1.json", ""); // empty counts as missing
    {
        MinecraftInstaller game = installer(target);
        EXPECT_FALSE(BuildLaunchProfile(game, target, LaunchOptions(), profile));
        EXPECT_EQ(game.lastError, L"Не найден JSON Minecraft 1.21.1");
    }

    const std::vector<std::pair<std::string, std::string>> broken = {
        {"{\"libraries\": [", "{}"},
        {"{}", "not json"},
    };
    for (const auto& [neoForge, vanilla] : broken) {
        placeVersionJsons(neoForge, vanilla);
        MinecraftInstaller game = installer(target);
        EXPECT_FALSE(BuildLaunchProfile(game, target, LaunchOptions(), profile));
        EXPECT_EQ(game.lastError.rfind(L"Битый JSON версии: ", 0), 0u)
            << platform::wideToUtf8(game.lastError);
        EXPECT_GT(game.lastError.size(), wide("Битый JSON версии: ").size());
    }

    placeVersionJsons("{\"inheritsFrom\": \"1.21.1\"}", "{\"libraries\": []}");
    {
        MinecraftInstaller game = installer(target);
        EXPECT_FALSE(BuildLaunchProfile(game, target, LaunchOptions(), profile));
        EXPECT_EQ(game.lastError, L"В JSON версии нет mainClass.");
    }

    // Members of unexpected types, after both documents parsed.
    const std::vector<std::pair<std::string, std::string>> unexpected = {
        {R"({"mainClass": "a.B", "libraries": "none"})", "{}"},
        {R"({"mainClass": "a.B", "libraries": [{"name": 7}]})", "{}"},
        {R"({"mainClass": "a.B", "libraries": [{"name": "a:b:1", "rules": [{"os": {"name": 1}}]}]})",
         "{}"},
        {R"({"mainClass": "a.B", "arguments": {"jvm": [{"rules": ["allow"], "value": "-X"}]}})",
         "{}"},
        {R"({"mainClass": "a.B", "arguments": "none"})", "{}"},
        {R"({"mainClass": 42})", "{}"},
        {R"({"mainClass": "a.B", "minecraftArguments": 5})", "{}"},
        {R"({"mainClass": "a.B"})", R"({"assetIndex": "17"})"},
        {R"({"mainClass": "a.B"})", "[1, 2, 3]"},
    };
    for (const auto& [neoForge, vanilla] : unexpected) {
        placeVersionJsons(neoForge, vanilla);
        MinecraftInstaller game = installer(target);
        bool built = true;
        EXPECT_NO_THROW(built = BuildLaunchProfile(game, target, LaunchOptions(), profile))
            << neoForge << " / " << vanilla;
        EXPECT_FALSE(built) << neoForge << " / " << vanilla;
        EXPECT_EQ(game.lastError.rfind(L"Неожиданная структура JSON версии: ", 0), 0u)
            << neoForge << " / " << vanilla << " -> " << platform::wideToUtf8(game.lastError);
    }
}

TEST_F(LaunchProfileTest, AgentArgumentComesLastAndUnquoted) {
    placeRealVersionJsons();
    const TargetPlatform target = TargetPlatform::windowsX64();
    MinecraftInstaller game = installer(target);
    LaunchProfile profile;
    ASSERT_TRUE(BuildLaunchProfile(game, target, LaunchOptions(), profile));
    const std::size_t before = profile.jvmArgs.size();
    AppendAgentArgument(profile, dir / "Лаунчер с пробелом" / "authlib-injector.jar",
                        "https://auth.example.org:8448");
    ASSERT_EQ(profile.jvmArgs.size(), before + 1);
    EXPECT_EQ(profile.jvmArgs.back(),
              L"-javaagent:" + widePath(dir / "Лаунчер с пробелом" / "authlib-injector.jar") +
                  L"=https://auth.example.org:8448");
}

TEST(LaunchProfileHelpers, LibraryKeyAndMavenPath) {
    EXPECT_EQ(LibraryKey("org.lwjgl:lwjgl:3.3.3"), "org.lwjgl:lwjgl");
    EXPECT_EQ(LibraryKey("org.lwjgl:lwjgl:3.3.3:natives-windows"),
              "org.lwjgl:lwjgl:natives-windows");
    EXPECT_EQ(LibraryKey("g:a:1:c:extra"), "g:a:c:extra");
    EXPECT_EQ(LibraryKey("g:a"), "g:a");
    EXPECT_EQ(LibraryKey("plain"), "plain");

    EXPECT_EQ(MavenPath("net.neoforged:mergetool:2.0.0:api"),
              "net/neoforged/mergetool/2.0.0/mergetool-2.0.0-api.jar");
    EXPECT_EQ(MavenPath("com.google.guava:guava:32.1.2-jre"),
              "com/google/guava/guava/32.1.2-jre/guava-32.1.2-jre.jar");
    EXPECT_EQ(MavenPath("g:a"), "");
    EXPECT_EQ(MavenPath(""), "");
}

TEST(LaunchProfileHelpers, ArgumentsFollowRulesAndPlaceholdersResolveOnce) {
    const auto list = nlohmann::json::parse(R"([
        "-a",
        {"rules": [{"action": "allow", "os": {"name": "windows"}}], "value": ["-w1", 3, "-w2"]},
        {"rules": [{"action": "allow", "os": {"name": "linux"}}], "value": "-l"},
        {"rules": [{"action": "allow", "features": {"is_demo_user": true}}], "value": "--demo"},
        {"value": "-always"},
        {"rules": [{"action": "allow"}]},
        7, null
    ])");
    std::vector<std::string> windows;
    CollectArguments(list, TargetPlatform::windowsX64(), windows);
    EXPECT_EQ(windows, (std::vector<std::string>{"-a", "-w1", "-w2", "-always"}));
    std::vector<std::string> linux;
    CollectArguments(list, TargetPlatform::linuxX64(), linux);
    EXPECT_EQ(linux, (std::vector<std::string>{"-a", "-l", "-always"}));
    std::vector<std::string> none;
    CollectArguments(nlohmann::json::object(), TargetPlatform::linuxX64(), none);
    EXPECT_TRUE(none.empty());

    const PlaceholderTable table = {{L"${a}", L"x${b}"}, {L"${b}", L"путь"}};
    Strings out;
    ExpandPlaceholders({"plain", "${a}-${a}", "${b}/${b}", "${c}", "pre${a", "$ {a}", "${}"}, table,
                       out);
    expectSameLines(out, {L"plain", L"x${b}-x${b}", L"путь/путь", L"$ {a}"}, "expanded");
}

} // namespace
} // namespace qbk
