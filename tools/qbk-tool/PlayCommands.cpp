#include "tools/qbk-tool/PlayCommands.h"

#include "app/ProjectInfo.h"
#include "app/Settings.h"
#include "game/LaunchProfile.h"
#include "game/MinecraftInstaller.h"
#include "launch/ServerList.h"
#include "platform/Platform.h"
#include "tools/qbk-tool/ToolOptions.h"

#include <QtGlobal>
#include <charconv>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>

// Q_INIT_RESOURCE names a global function, so it cannot be expanded inside a namespace.
static void registerLauncherResources() {
    Q_INIT_RESOURCE(resources);
}

namespace qbk::tool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kProfileOptions[] = {"--player", "--uuid", "--token", "--max-ram",
                                           "--min-ram"};

// Takes the named options out of args, leaving the rest for ToolOptions.
bool extractOptions(const std::vector<std::string>& args, std::vector<std::string>& rest,
                    std::map<std::string, std::string>& own, std::string& error) {
    rest.clear();
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool isOwn = false;
        for (const char* name : kProfileOptions)
            isOwn = isOwn || args[i] == name;
        if (!isOwn) {
            rest.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "missing value after " + args[i];
            return false;
        }
        own[args[i]] = args[i + 1];
        ++i;
    }
    return true;
}

bool parseMegabytes(const std::string& text, std::int32_t& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value > 0;
}

bool fillLaunchOptions(const std::map<std::string, std::string>& own, LaunchOptions& options,
                       std::string& error) {
    for (const auto& [name, value] : own) {
        if (name == "--player")
            options.playerName = platform::utf8ToWide(value);
        else if (name == "--uuid")
            options.uuid = platform::utf8ToWide(value);
        else if (name == "--token")
            options.accessToken = platform::utf8ToWide(value);
        else if (!parseMegabytes(value, name == "--max-ram" ? options.maxRamMb : options.minRamMb))
            error = name + " needs a positive number of megabytes, not " + value;
    }
    if (options.playerName.empty())
        options.playerName = L"Player";
    return error.empty();
}

int usageError(const std::string& error) {
    std::cerr << "qbk-tool: " << error << '\n';
    return 2;
}

int failure(const std::string& command, const ToolOptions& options, const std::string& error) {
    const nlohmann::json summary = {
        {"command", command}, {"target", options.target.osName}, {"ok", false}, {"error", error}};
    std::cerr << error << '\n';
    std::cout << summary.dump() << std::endl;
    return 1;
}

nlohmann::json utf8List(const std::vector<std::wstring>& items) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& item : items)
        list.push_back(platform::wideToUtf8(item));
    return list;
}

// The session token must reach the game but never a line the tool prints.
nlohmann::json maskedGameArgs(const std::vector<std::wstring>& gameArgs) {
    nlohmann::json list = utf8List(gameArgs);
    for (std::size_t i = 0; i + 1 < list.size(); ++i)
        if (list[i] == "--accessToken" && list[i + 1] != "0")
            list[i + 1] = "***";
    return list;
}

Endpoints endpointsOf(const fs::path& launcherDir) {
    return Settings(launcherDir / "Quellbrook.ini").endpoints();
}

} // namespace

int serversDat(const std::vector<std::string>& args) {
    ToolOptions options;
    std::string error;
    if (!ToolOptions::parse(args, options, error))
        return usageError(error);
    registerLauncherResources();
    const Endpoints endpoints = endpointsOf(options.launcherDir);
    const fs::path gameDir = options.launcherDir / "minecraft";
    const std::string icon = LoadServerIconBase64();
    if (!WriteServersDat(gameDir, "Quellbrook", endpoints.gameServer, icon))
        return failure("servers-dat", options, "servers.dat could not be written");
    const nlohmann::json summary = {
        {"command", "servers-dat"},
        {"ok", true},
        {"path", platform::pathToUtf8(gameDir / "servers.dat")},
        {"address", endpoints.gameServer},
        {"icon", !icon.empty()},
        {"bytes", platform::fileSize(gameDir / "servers.dat").value_or(0)}};
    std::cout << summary.dump() << std::endl;
    return 0;
}

int profile(const std::vector<std::string>& args) {
    std::vector<std::string> rest;
    std::map<std::string, std::string> own;
    ToolOptions options;
    LaunchOptions launch;
    std::string error;
    if (!extractOptions(args, rest, own, error) || !ToolOptions::parse(rest, options, error) ||
        !fillLaunchOptions(own, launch, error))
        return usageError(error);

    const Endpoints endpoints = endpointsOf(options.launcherDir);
    MinecraftInstaller installer(options.launcherDir / "minecraft",
                                 options.launcherDir / "runtime" / "java21", endpoints,
                                 options.target);
    installer.mcVersion = std::string(project::kMinecraftVersion);
    installer.neoForgeVersion = std::string(project::kNeoForgeVersion);
    LaunchProfile assembled;
    if (!BuildLaunchProfile(installer, options.target, launch, assembled))
        return failure("profile", options, platform::wideToUtf8(installer.lastError));
    AppendAgentArgument(assembled, options.launcherDir / "authlib-injector.jar",
                        endpoints.accountServer);
    const nlohmann::json printed = {{"mainClass", platform::wideToUtf8(assembled.mainClass)},
                                    {"jvmArgs", utf8List(assembled.jvmArgs)},
                                    {"gameArgs", maskedGameArgs(assembled.gameArgs)}};
    std::cout << printed.dump() << std::endl;
    return 0;
}

} // namespace qbk::tool
