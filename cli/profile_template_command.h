#pragma once
// calveroctl profile template NAME OUT.xml: one of the profile templates,
// written as a profile file that `profile upload` and the program open.

#include <string>
#include <vector>

namespace cli {

inline constexpr char kProfileTemplateUsage[] = "profile template NAME OUT.xml";

// args: NAME OUT.xml. 0 written; 2 an unknown name or wrong arguments; 1
// the file could not be written.
int RunProfileTemplate(const std::vector<std::string>& args);

}  // namespace cli
