#pragma once
// calveroctl's commands register themselves here, one source file per
// command family, so that main() stays a dispatcher.

#include <string>
#include <vector>

namespace cli {

// Returns the process exit code. args excludes the program and command names.
using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
    const char* name;
    const char* usage;  // one or more lines shown by `calveroctl --help`
    CommandFn run;
};

std::vector<Command>& Registry();

struct Registrar {
    explicit Registrar(Command c) { Registry().push_back(c); }
};

}  // namespace cli

#define CALVERO_CLI_CONCAT2(a, b) a##b
#define CALVERO_CLI_CONCAT(a, b) CALVERO_CLI_CONCAT2(a, b)
// CALVERO_CLI_COMMAND("monitor", "monitor HOST [--count N] [--port P]", RunMonitor);
#define CALVERO_CLI_COMMAND(name, usage, fn) \
    static ::cli::Registrar CALVERO_CLI_CONCAT(calvero_cli_reg_, __LINE__)({name, usage, fn})
