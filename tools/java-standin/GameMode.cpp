#include "tools/java-standin/GameMode.h"

#include "platform/Platform.h"
#include "platform/TargetPlatform.h"
#include "tools/java-standin/StandinControl.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

namespace qbk::standin {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::set<std::string> kOptionsWithValue = {
    "-cp",           "-classpath",     "--class-path",    "-p",
    "--module-path", "--add-modules",  "--add-opens",     "--add-exports",
    "--add-reads",   "--patch-module", "--limit-modules", "--upgrade-module-path"};

struct CommandLine {
    std::vector<std::string> jvmArgs;
    std::string mainClass;
    std::vector<std::string> gameArgs;
    std::map<std::string, std::string> jvmValues;  // option with a separate value -> value
    std::map<std::string, std::string> gameValues; // "--key value" pairs of the game
};

CommandLine split(const std::vector<std::string>& args) {
    CommandLine line;
    std::size_t i = 0;
    for (; i < args.size() && !args[i].empty() && args[i][0] == '-'; ++i) {
        line.jvmArgs.push_back(args[i]);
        if (kOptionsWithValue.count(args[i]) && i + 1 < args.size()) {
            line.jvmValues[args[i]] = args[i + 1];
            line.jvmArgs.push_back(args[++i]);
        }
    }
    if (i < args.size())
        line.mainClass = args[i++];
    for (; i < args.size(); ++i) {
        line.gameArgs.push_back(args[i]);
        if (args[i].rfind("--", 0) == 0 && i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)
            line.gameValues[args[i]] = args[i + 1];
    }
    return line;
}

std::vector<std::string> splitPath(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = text.find(separator, start);
        parts.push_back(
            text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return parts;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Megabytes of "-Xmx4096M" style flags (K, M, G or bytes); -1 when malformed.
long long memoryMb(const std::string& value) {
    if (value.empty())
        return -1;
    std::size_t digits = 0;
    while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9')
        ++digits;
    if (digits == 0 || digits + 1 < value.size())
        return -1;
    const long long number = std::stoll(value.substr(0, digits));
    const char unit = digits < value.size() ? value[digits] : '\0';
    switch (unit) {
    case 'g':
    case 'G':
        return number * 1024;
    case 'm':
    case 'M':
        return number;
    case 'k':
    case 'K':
        return number / 1024;
    case '\0':
        return number / (1024 * 1024);
    default:
        return -1;
    }
}

class Checker {
public:
    explicit Checker(const CommandLine& line) : line_(line) {}

    json run() {
        checkPlaceholders();
        checkPathList("-cp", "classpath", true);
        checkPathList("-p", "modulePath", false);
        checkAgent();
        checkMemory();
        checkMainClass();
        checkGameFolders();
        report_["ok"] = problems_.empty();
        report_["problems"] = problems_;
        return report_;
    }

private:
    void problem(const std::string& text) { problems_.push_back(text); }
    fs::path pathOf(const std::string& text) const { return platform::pathFromUtf8(text); }

    void checkPlaceholders() {
        for (const auto* list : {&line_.jvmArgs, &line_.gameArgs})
            for (const auto& arg : *list)
                if (arg.find("${") != std::string::npos)
                    problem("placeholder left: " + arg);
    }

    std::string valueOf(std::initializer_list<const char*> names) const {
        for (const char* name : names)
            if (const auto it = line_.jvmValues.find(name); it != line_.jvmValues.end())
                return it->second;
        return {};
    }

    void checkPathList(const char* option, const char* key, bool required) {
        const std::string value = std::string(option) == "-cp"
                                      ? valueOf({"-cp", "-classpath", "--class-path"})
                                      : valueOf({"-p", "--module-path"});
        if (value.empty()) {
            if (required)
                problem(std::string("no ") + key);
            return;
        }
        const auto entries = splitPath(value, TargetPlatform::host().classpathSeparator);
        int missing = 0;
        for (const auto& entry : entries)
            if (entry.empty() || !platform::pathExists(pathOf(entry)))
                if (++missing <= 10)
                    problem(std::string(key) + " entry missing: " + entry);
        report_[key] = {{"entries", entries.size()}, {"missing", missing}};
    }

    void checkAgent() {
        const std::string prefix = "-javaagent:";
        std::vector<std::string> agents;
        for (const auto& arg : line_.jvmArgs)
            if (arg.rfind(prefix, 0) == 0)
                agents.push_back(arg.substr(prefix.size()));
        if (agents.size() != 1) {
            problem("expected one -javaagent, got " + std::to_string(agents.size()));
            return;
        }
        const auto equals = agents[0].find('=');
        const std::string jar = agents[0].substr(0, equals);
        const std::string url = equals == std::string::npos ? "" : agents[0].substr(equals + 1);
        if (!platform::pathExists(pathOf(jar)))
            problem("agent jar missing: " + jar);
        if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0)
            problem("agent argument has no API root URL: " + agents[0]);
        report_["javaagent"] = {{"jar", jar}, {"apiRoot", url}};
    }

    void checkMemory() {
        long long xmx = -1, xms = -1;
        for (const auto& arg : line_.jvmArgs) {
            if (arg.rfind("-Xmx", 0) == 0)
                xmx = memoryMb(arg.substr(4));
            if (arg.rfind("-Xms", 0) == 0)
                xms = memoryMb(arg.substr(4));
        }
        if (xmx <= 0 || xms <= 0)
            problem("-Xmx and -Xms must both be given in a valid form");
        else if (xms > xmx)
            problem("Initial heap size set to a larger value than the maximum heap size");
        report_["xmxMb"] = xmx;
        report_["xmsMb"] = xms;
    }

    void checkMainClass() {
        report_["mainClass"] = line_.mainClass;
        if (line_.mainClass.empty()) {
            problem("no main class");
            return;
        }
        const auto gameDir = line_.gameValues.find("--gameDir");
        const auto version = line_.gameValues.find("--version");
        if (gameDir == line_.gameValues.end() || version == line_.gameValues.end())
            return;
        const fs::path versionJson = pathOf(gameDir->second) / "versions" /
                                     pathOf(version->second) / pathOf(version->second + ".json");
        const auto parsed = json::parse(readText(versionJson), nullptr, false);
        const std::string expected = parsed.is_object() ? parsed.value("mainClass", "") : "";
        report_["versionMainClass"] = expected;
        if (expected != line_.mainClass)
            problem("main class " + line_.mainClass + " is not the one of " +
                    platform::pathToUtf8(versionJson) + ": " + expected);
    }

    void checkGameFolders() {
        const auto get = [this](const char* key) {
            const auto it = line_.gameValues.find(key);
            return it == line_.gameValues.end() ? std::string() : it->second;
        };
        const std::string gameDir = get("--gameDir");
        const std::string assetsDir = get("--assetsDir");
        const std::string assetIndex = get("--assetIndex");
        if (gameDir.empty() || !platform::isDirectory(pathOf(gameDir)))
            problem("game directory missing: " + gameDir);
        if (assetsDir.empty() || !platform::isDirectory(pathOf(assetsDir)))
            problem("assets directory missing: " + assetsDir);
        else if (!platform::pathExists(pathOf(assetsDir) / "indexes" /
                                       pathOf(assetIndex + ".json")))
            problem("asset index missing: " + assetIndex);
        report_["gameDir"] = gameDir;
        report_["assetsDir"] = assetsDir;
        report_["assetIndex"] = assetIndex;
        report_["username"] = get("--username");
        report_["uuid"] = get("--uuid");
        report_["version"] = get("--version");
    }

    const CommandLine& line_;
    json report_ = json::object();
    std::vector<std::string> problems_;
};

// The session token never reaches a file in clear.
std::vector<std::string> masked(const std::vector<std::string>& args) {
    std::vector<std::string> out = args;
    for (std::size_t i = 0; i + 1 < out.size(); ++i)
        if (out[i] == "--accessToken")
            out[i + 1] = out[i + 1].empty() ? "" : "***";
    return out;
}

fs::path reportFolder(const CommandLine& line) {
    const auto it = line.gameValues.find("--gameDir");
    return it != line.gameValues.end() && platform::isDirectory(platform::pathFromUtf8(it->second))
               ? platform::pathFromUtf8(it->second)
               : fs::current_path();
}

bool writeReport(const fs::path& file, const json& report) {
    platform::createDirectories(file.parent_path());
    const fs::path temp = fs::path(file).concat(".tmp");
    {
        std::ofstream out(temp, std::ios::binary);
        out << report.dump(2) << '\n';
        if (!out)
            return false;
    }
    return platform::moveReplace(temp, file);
}

} // namespace

int runGame(const std::vector<std::string>& args) {
    const CommandLine line = split(args);
    json report = Checker(line).run();
    const auto token = line.gameValues.find("--accessToken");
    report["accessTokenLength"] = token == line.gameValues.end() ? 0 : token->second.size();
    report["jvmArgs"] = line.jvmArgs;
    report["gameArgs"] = masked(line.gameArgs);
    report["workingDirectory"] = platform::pathToUtf8(fs::current_path());

    const fs::path folder = reportFolder(line);
    const fs::path reportFile = folder / "logs" / "standin-report.json";
    if (!writeReport(reportFile, report))
        std::cerr << "could not write " << platform::pathToUtf8(reportFile) << '\n';
    if (!report["ok"].get<bool>()) {
        for (const auto& text : report["problems"])
            std::cerr << "Error: " << text.get<std::string>() << '\n';
        return 1;
    }
    const StandinControl control = StandinControl::read(folder);
    std::cout << "[standin] " << line.mainClass << " started for "
              << report["username"].get<std::string>() << std::endl;
    if (control.gameExitCode >= 0)
        return control.gameExitCode;
    sleepSeconds(control.gameLifetimeSeconds);
    return 0;
}

} // namespace qbk::standin
