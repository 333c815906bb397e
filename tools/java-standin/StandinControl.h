#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qbk::standin {

// What a test asks of the stand-in, read from "standin-java.json" in the folder it works on
// (the installer's target folder, the game directory). Absent file or keys: behave like Java.
struct StandinControl {
    std::vector<std::string> rejectInstallerFlags; // exit 1 as for an unknown option
    bool installerHangs = false;                   // never return, until killed
    int gameExitCode = -1;                         // >= 0: exit at once after the report
    int gameLifetimeSeconds = 600;                 // then end, so no test leaves it behind

    static StandinControl read(const std::filesystem::path& folder);
};

// Sleeps for the given seconds; a negative count sleeps for good.
void sleepSeconds(int seconds);

} // namespace qbk::standin
