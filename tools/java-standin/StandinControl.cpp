#include "tools/java-standin/StandinControl.h"

#include "platform/Platform.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <thread>

namespace qbk::standin {

StandinControl StandinControl::read(const std::filesystem::path& folder) {
    StandinControl control;
    std::ifstream in(folder / "standin-java.json", std::ios::binary);
    if (!in)
        return control;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object())
        return control;
    control.rejectInstallerFlags = json.value("rejectInstallerFlags", std::vector<std::string>{});
    control.installerHangs = json.value("installerHangs", false);
    control.gameExitCode = json.value("gameExitCode", -1);
    control.gameLifetimeSeconds = json.value("gameLifetimeSeconds", 600);
    return control;
}

void sleepSeconds(int seconds) {
    for (int elapsed = 0; seconds < 0 || elapsed < seconds; ++elapsed)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

} // namespace qbk::standin
