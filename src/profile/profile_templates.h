#pragma once
// The profiles an operator starts from: a lead-free and a tin-lead reflow,
// each well inside its process window of the bake report, and a bake out
// that dries parts at 125 degrees. Every template's rates stay within what
// a heated plate follows (about 1.5 degrees a second up and 2 down).

#include <optional>
#include <span>
#include <string>

#include "profile/profile_model.h"

namespace profile {

struct Template {
    const char* key;       // `calveroctl profile template KEY`
    const wchar_t* title;  // what the menus show
    const char* window;    // the process window it is made for, or nullptr
};

std::span<const Template> Templates();
std::optional<Profile> TemplateProfile(const std::string& key);

}  // namespace profile
