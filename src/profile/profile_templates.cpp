#include "profile/profile_templates.h"

#include <array>

namespace profile {

namespace {

constexpr std::array<Template, 3> kTemplates = {{
    {"pbfree", L"Lead-free reflow", "pbfree"},
    {"snpb", L"Tin-lead reflow", "snpb"},
    {"bakeout", L"Bake out", nullptr},
}};

}  // namespace

std::span<const Template> Templates() {
    return kTemplates;
}

std::optional<Profile> TemplateProfile(const std::string& key) {
    // (seconds, degrees). The reflows aim at the middle of their windows:
    // preheat 90 s, about 90 s above the liquidus, a short peak with little
    // time near it, and a gentle ramp into the peak.
    if (key == "pbfree")
        return Profile({{0, 25},
                        {90, 150},
                        {180, 200},
                        {225, 245},
                        {232, 238},
                        {287, 217},
                        {330, 150},
                        {380, 100}});
    if (key == "snpb")
        return Profile({{0, 25},
                        {60, 100},
                        {150, 150},
                        {200, 220},
                        {205, 213},
                        {275, 183},
                        {315, 120},
                        {355, 80}});
    // Moisture out of parts: a slow rise, four hours at 125 degrees, a
    // slow way down.
    if (key == "bakeout")
        return Profile({{0, 25}, {400, 125}, {14800, 125}, {15400, 50}});
    return std::nullopt;
}

}  // namespace profile
