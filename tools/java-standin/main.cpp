// The stand-in for the private runtime's java: no JVM can run in the test world, so this
// program answers the three ways the launcher starts java.

#include "tools/java-standin/GameMode.h"
#include "tools/java-standin/InstallerMode.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << "Usage: java [options] <mainclass> [args...]\n"
                     "   (to execute a class)\n   or  java [options] -jar <jarfile> [args...]\n";
        return 1;
    }
    if (args.front() == "-version" || args.front() == "--version") {
        std::cerr << "openjdk version \"21.0.5\" 2024-10-15 LTS\n"
                     "OpenJDK Runtime Environment Temurin-21.0.5+11 (build 21.0.5+11-LTS)\n"
                     "OpenJDK 64-Bit Server VM Temurin-21.0.5+11 (build 21.0.5+11-LTS, mixed "
                     "mode, sharing)\n";
        return 0;
    }
    if (args.front() == "-jar")
        return qbk::standin::runInstaller(args);
    return qbk::standin::runGame(args);
}
