#include "tools/modrinth-standin/StandinOptions.h"

#include "platform/Platform.h"

#include <charconv>

namespace qbk::modrinthstandin {

namespace {

bool parseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

} // namespace

std::string usageText() {
    return "usage: qbk-modrinth-standin [--port N] --mods-dir DIR [--mods-dir DIR ...]\n"
           "       [--unknown FILE.jar ...] [--refuse N|all] [--reset SECONDS]\n"
           "       [--delay-ms MS] [--testdata DIR]\n"
           "Port 0 (the default) picks a free port; the chosen one is printed as port=N.\n";
}

std::optional<StandinOptions> parseStandinOptions(const std::vector<std::string>& args,
                                                  std::string& error) {
    StandinOptions options;
    options.testdataDir = QBK_MODRINTH_TESTDATA;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) {
            error = "missing value after " + name;
            return std::nullopt;
        }
        const std::string& value = args[++i];
        bool ok = true;
        if (name == "--port")
            ok = parseInt(value, options.port) && options.port >= 0 && options.port < 65536;
        else if (name == "--mods-dir")
            options.modsDirs.push_back(platform::pathFromUtf8(value));
        else if (name == "--testdata")
            options.testdataDir = platform::pathFromUtf8(value);
        else if (name == "--unknown")
            options.unknownFiles.insert(value);
        else if (name == "--refuse")
            ok = value == "all" ? (options.refuseCount = -1, true)
                                : parseInt(value, options.refuseCount) && options.refuseCount >= 0;
        else if (name == "--reset")
            ok = parseInt(value, options.resetSeconds) && options.resetSeconds >= 0;
        else if (name == "--delay-ms")
            ok = parseInt(value, options.delayMs) && options.delayMs >= 0;
        else
            ok = (error = "unknown option " + name, false);
        if (!ok) {
            if (error.empty())
                error = "bad value for " + name + ": " + value;
            return std::nullopt;
        }
    }
    return options;
}

} // namespace qbk::modrinthstandin
