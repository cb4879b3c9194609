// calveroctl: the command-line companion of the operator program.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_io.h"
#include "cli/command_registry.h"

namespace cli {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

}  // namespace cli

namespace {

// Scripts rely on these codes, so they stay as they have always been; the
// README carries the same table.
constexpr char kExitCodes[] =
    "\nexit codes:\n"
    "  0  done\n"
    "  1  the controller refused (its text is printed) or answered what cannot be\n"
    "     decoded; the chart is not fit for a profile; a chart command cannot read or\n"
    "     use its FILE, or write its output; standard output cannot be written (any\n"
    "     command); discover and set-ip: any failure, a wrong command line too\n"
    "  2  a wrong command line (other commands); no connection to the controller;\n"
    "     profile upload cannot read its FILE or find the --chart NAME;\n"
    "     chart render: a --range the view cannot show, an image type it cannot write\n"
    "  3  the link to the controller dropped\n"
    "  4  the controller did not answer in time\n";

// One synopsis line per form of a command ("Usage:" / "or:", the layout man
// page tools read), then each command's notes: usage lines that do not start
// with the program's name, then what each exit code means.
std::string UsageText() {
    std::string text;
    auto commands = cli::Registry();
    std::sort(commands.begin(), commands.end(), [](const cli::Command& a, const cli::Command& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
    text += "Usage: calveroctl COMMAND [ARGS...]\n";
    std::vector<std::pair<const char*, std::string>> notes;
    for (const auto& c : commands) {
        std::istringstream lines(std::string("calveroctl ") + c.usage);
        for (std::string line; std::getline(lines, line);) {
            line.erase(0, line.find_first_not_of(' '));
            if (line.rfind("calveroctl ", 0) == 0) {
                text += "  or:  " + line + "\n";
            } else if (!line.empty()) {
                notes.emplace_back(c.name, line);
            }
        }
    }
    text += "\nThe command-line companion of the Calvero operator program.\n";
    if (!notes.empty())
        text += "\nnotes:\n";
    for (const auto& [name, note] : notes) {
        std::string label = name;
        label.resize(std::max<size_t>(label.size(), 10), ' ');
        text += "  " + label + "  " + note + "\n";
    }
    text += kExitCodes;
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(UsageText().c_str(), stderr);
        return 2;
    }
    const char* name = argv[1];
    if (!std::strcmp(name, "--help") || !std::strcmp(name, "-h") || !std::strcmp(name, "help")) {
        cli::Write(UsageText());
        return cli::FinishStdout(0);
    }
    if (!std::strcmp(name, "--version")) {
        cli::Print("calveroctl %s\n", CALVERO_VERSION);
        return cli::FinishStdout(0);
    }
    for (const auto& c : cli::Registry()) {
        if (!std::strcmp(c.name, name))
            return cli::FinishStdout(c.run(std::vector<std::string>(argv + 2, argv + argc)));
    }
    std::fprintf(stderr, "calveroctl: unknown command '%s'\n\n", name);
    std::fputs(UsageText().c_str(), stderr);
    return 2;
}
