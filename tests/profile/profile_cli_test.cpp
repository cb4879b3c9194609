// calveroctl profile template, run as an operator would.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "profile/profile_model.h"
#include "profile/profile_templates.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ProfileTemplateCli, EachNameWritesItsTemplateAsAProfileFile) {
    test_support::TempDir dir;
    for (const profile::Template& t : profile::Templates()) {
        const std::string out = dir.Path(std::string(t.key) + ".xml");
        const auto r = test_support::Run({CALVEROCTL, "profile", "template", t.key, out});
        ASSERT_EQ(0, r.code) << t.key << ": " << r.err;
        EXPECT_EQ("", r.out);
        std::wstring error;
        const auto loaded = profile::LoadProfile(dir.WPath(std::string(t.key) + ".xml"), error);
        ASSERT_TRUE(loaded) << t.key;
        EXPECT_TRUE(*loaded == *profile::TemplateProfile(t.key)) << t.key;
    }
}

TEST(ProfileTemplateCli, AnotherNameOrMissingArgumentsExitWith2AndWriteNothing) {
    test_support::TempDir dir;
    const std::string out = dir.Path("x.xml");
    const struct {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{"template", "leadfree", out}, "no template 'leadfree' (there are pbfree, snpb, bakeout)"},
        {{"template", "PBFREE", out}, "no template 'PBFREE'"},
        {{"template", "pbfree"}, "template needs NAME and OUT.xml"},
        {{"template", "pbfree", out, "extra"}, "template needs NAME and OUT.xml"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {CALVEROCTL, "profile"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const auto r = test_support::Run(argv);
        EXPECT_EQ(2, r.code) << c.args[1];
        EXPECT_NE(std::string::npos, r.err.find(c.err)) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.args[1];
    }
}

TEST(ProfileTemplateCli, AFileThatCannotBeWrittenFailsNamingIt) {
    test_support::TempDir dir;
    const std::string out = dir.Path("no-such-folder/p.xml");
    const auto r = test_support::Run({CALVEROCTL, "profile", "template", "snpb", out});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("calveroctl: " + out + ": ")) << r.err;
}

TEST(ProfileTemplateCli, HelpNamesTheTemplateCommand) {
    const auto r = test_support::Run({CALVEROCTL, "--help"});
    EXPECT_NE(std::string::npos, r.out.find("profile template pbfree|snpb|bakeout OUT.xml"))
        << r.out;
}

}  // namespace
