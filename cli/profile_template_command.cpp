#include "cli/profile_template_command.h"

#include <cstdio>
#include <string>

#include "cli/command_io.h"
#include "platform/text_conversion.h"
#include "profile/profile_model.h"
#include "profile/profile_templates.h"

namespace cli {

namespace {

std::string Names() {
    std::string names;
    for (const profile::Template& t : profile::Templates())
        names += std::string(names.empty() ? "" : ", ") + t.key;
    return names;
}

}  // namespace

int RunProfileTemplate(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr,
                     "calveroctl profile: template needs NAME and OUT.xml\n"
                     "usage: calveroctl %s (NAME: %s)\n",
                     kProfileTemplateUsage, Names().c_str());
        return 2;
    }
    const auto profile = profile::TemplateProfile(args[0]);
    if (!profile) {
        std::fprintf(stderr, "calveroctl profile: no template '%s' (there are %s)\n",
                     args[0].c_str(), Names().c_str());
        return 2;
    }
    std::wstring path;
    if (!platform::Utf8ToWide(args[1], path))
        path.assign(args[1].begin(), args[1].end());
    std::wstring error;
    if (!profile::SaveProfile(*profile, path, error)) {
        ReportFileProblem(args[1], platform::WideToUtf8(error));
        return kExitOutputFailed;
    }
    return 0;
}

}  // namespace cli
