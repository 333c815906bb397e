#pragma once

#include <string>
#include <vector>

namespace qbk::standin {

// A game command line (JVM options, main class, game arguments): checks that every file the
// JVM and the game need is there and every placeholder was replaced, writes the findings to
// <gameDir>/logs/standin-report.json, then keeps running like a game. Returns the exit code.
int runGame(const std::vector<std::string>& args);

} // namespace qbk::standin
