// calveroctl: the command-line companion of the operator program.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_registry.h"

namespace cli {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

}  // namespace cli

namespace {

// One synopsis line per form of a command ("Usage:" / "or:", the layout man
// page tools read), then each command's notes: usage lines that do not start
// with the program's name.
void PrintUsage(FILE* out) {
    auto commands = cli::Registry();
    std::sort(commands.begin(), commands.end(), [](const cli::Command& a, const cli::Command& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
    std::fprintf(out, "Usage: calveroctl COMMAND [ARGS...]\n");
    std::vector<std::pair<const char*, std::string>> notes;
    for (const auto& c : commands) {
        std::istringstream lines(std::string("calveroctl ") + c.usage);
        for (std::string line; std::getline(lines, line);) {
            line.erase(0, line.find_first_not_of(' '));
            if (line.rfind("calveroctl ", 0) == 0) {
                std::fprintf(out, "  or:  %s\n", line.c_str());
            } else if (!line.empty()) {
                notes.emplace_back(c.name, line);
            }
        }
    }
    std::fprintf(out, "\nThe command-line companion of the Calvero operator program.\n");
    if (!notes.empty())
        std::fprintf(out, "\nnotes:\n");
    for (const auto& [name, note] : notes) std::fprintf(out, "  %-10s  %s\n", name, note.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const char* name = argv[1];
    if (!std::strcmp(name, "--help") || !std::strcmp(name, "-h") || !std::strcmp(name, "help")) {
        PrintUsage(stdout);
        return 0;
    }
    if (!std::strcmp(name, "--version")) {
        std::printf("calveroctl %s\n", CALVERO_VERSION);
        return 0;
    }
    for (const auto& c : cli::Registry()) {
        if (!std::strcmp(c.name, name))
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "calveroctl: unknown command '%s'\n\n", name);
    PrintUsage(stderr);
    return 2;
}
