// calveroctl: the command-line companion of the operator program.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/command_registry.h"

namespace cli {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

}  // namespace cli

namespace {

void PrintUsage(FILE* out) {
    auto commands = cli::Registry();
    std::sort(commands.begin(), commands.end(),
              [](const cli::Command& a, const cli::Command& b) { return std::strcmp(a.name, b.name) < 0; });
    std::fprintf(out, "usage: calveroctl COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& c : commands) std::fprintf(out, "  calveroctl %s\n", c.usage);
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
        std::printf("calveroctl 0.1.0\n");
        return 0;
    }
    for (const auto& c : cli::Registry()) {
        if (!std::strcmp(c.name, name)) return c.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "calveroctl: unknown command '%s'\n\n", name);
    PrintUsage(stderr);
    return 2;
}
