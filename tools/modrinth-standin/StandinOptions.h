#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qbk::modrinthstandin {

// The stand-in's command line; see usageText().
struct StandinOptions {
    int port = 0;
    std::vector<std::filesystem::path> modsDirs;
    std::filesystem::path testdataDir;
    std::set<std::string> unknownFiles; // jar names answered with 404
    int refuseCount = 0;                // API requests answered 429 first; -1 for all
    int resetSeconds = 1;
    int delayMs = 0;
};

std::string usageText();

// The options, or nullopt with error filled for a bad command line.
std::optional<StandinOptions> parseStandinOptions(const std::vector<std::string>& args,
                                                  std::string& error);

} // namespace qbk::modrinthstandin
