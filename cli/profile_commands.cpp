// calveroctl profile: send a chart to the controller as its temperature
// profile, or print the profile it holds. The chart choice and the packet
// follow the same rules as the operator program's "Upload Bake Profile".
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "bake/controller_packets.h"
#include "bake/profile_upload.h"
#include "chart/chart_set.h"
#include "cli/command_io.h"
#include "cli/command_registry.h"
#include "cli/controller_session.h"
#include "cli/profile_template_command.h"
#include "platform/text_conversion.h"

namespace {

constexpr char kUsage[] =
    "profile upload HOST FILE [--chart NAME] [--port P]\n"
    "  calveroctl profile show HOST [--port P]\n"
    "  calveroctl profile template pbfree|snpb|bakeout OUT.xml";
constexpr char kUploadUsage[] = "profile upload HOST FILE [--chart NAME] [--port P]";
constexpr char kShowUsage[] = "profile show HOST [--port P]";

int UsageError(const std::string& why, const char* usage) {
    std::fprintf(stderr, "calveroctl profile: %s\nusage: calveroctl %s\n", why.c_str(), usage);
    return cli::kExitNoConnection;
}

std::wstring Wide(const std::string& s) {
    std::wstring w;
    if (!platform::Utf8ToWide(s, w))
        w.assign(s.begin(), s.end());
    return w;
}

void PrintLine(FILE* out, const wchar_t* text) {
    std::fprintf(out, "%s\n", platform::WideToUtf8(text).c_str());
}

// Splits off the second plain argument (FILE) so that the rest parses as the
// other controller commands do; option values are never taken for it.
bool TakeFile(std::vector<std::string>& args, std::string& file) {
    int plain = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) == 0) {
            ++i;
            continue;
        }
        if (++plain == 2) {
            file = args[i];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

// The samples of the chart to upload, or the exit code after saying why not.
int PickChart(const std::string& file, const cli::CommandLine& cl,
              std::vector<bake::ProfileSample>& samples) {
    chart::ChartSet model;
    if (!cli::LoadChartFile(file, model))
        return cli::kExitNoConnection;  // 2, as scripts have always seen it
    const chart::ChartSeries* series = nullptr;
    if (auto it = cl.values.find("--chart"); it != cl.values.end()) {
        series = model.FindChartByName(Wide(it->second));
        if (!series)
            return UsageError("no chart named '" + it->second + "' in " + file, kUploadUsage);
    } else {
        std::set<int> ids;
        model.GetChartIds(ids);
        // A file has no selection: with several charts, --chart says which.
        const bake::ProfileChartChoice choice = bake::ChooseProfileChart(ids, {});
        if (choice.problem) {
            PrintLine(stderr, choice.problem);
            if (ids.size() > 1)
                std::fprintf(stderr, "(name one with --chart NAME)\n");
            return cli::kExitRefused;
        }
        series = model.FindChart(choice.id);
    }
    samples = bake::ToProfileSamples(series->Points());
    if (const wchar_t* problem = bake::ProfileUploadProblem(true, samples.size())) {
        PrintLine(stderr, problem);
        return cli::kExitRefused;
    }
    return cli::kExitOk;
}

int RunUpload(std::vector<std::string> args) {
    std::string file;
    if (!TakeFile(args, file))
        return UsageError("HOST and FILE are needed", kUploadUsage);
    cli::CommandLine cl;
    if (!cli::ParseCommandLine(args, {"--chart"}, kUploadUsage, cl))
        return cli::kExitNoConnection;

    // The chart is checked before the controller is bothered.
    std::vector<bake::ProfileSample> samples;
    if (int rc = PickChart(file, cl, samples))
        return rc;

    cli::ControllerSession session;
    if (int rc = session.Connect(cl.host, cl.port))
        return rc;
    const bake::ProfileUploadPacket packet =
        bake::BuildProfileUpload(true, samples, session.Protocol().SequenceId());
    int rc = cli::kExitOk;
    if (!session.Request(packet.bytes.data(), static_cast<uint32_t>(packet.bytes.size()),
                         bake::CONCC_PKT_SET_PROFILE, rc))
        return rc;
    cli::Print("Temperature profile set, you can bake now!\n");
    return cli::kExitOk;
}

int RunShow(const std::vector<std::string>& args) {
    cli::CommandLine cl;
    if (!cli::ParseCommandLine(args, {}, kShowUsage, cl))
        return cli::kExitNoConnection;
    cli::ControllerSession session;
    if (int rc = session.Connect(cl.host, cl.port))
        return rc;
    const auto request = session.Protocol().Request(bake::CONCC_PKT_GET_PROFILE);
    int rc = cli::kExitOk;
    auto reply = session.Request(request.data(), request.size(), bake::CONCC_PKT_GET_PROFILE, rc);
    if (!reply)
        return rc;
    bake::CONCC_TempProfile profile;
    if (!bake::DecodeTempProfile(reply->data(), reply->size(), profile)) {
        std::fprintf(stderr, "Invalid temperature profile packet!\n");
        return cli::kExitRefused;
    }
    cli::Print("time_s,temp_c\n");
    for (const bake::CONCC_ProfilePoint& p : profile.points)
        cli::Print("%.3f,%.2f\n", p.timeMs / 1000.0, p.tempCenti / 100.0);
    return cli::kExitOk;
}

int RunProfile(const std::vector<std::string>& args) {
    if (args.empty())
        return UsageError("missing subcommand", kUsage);
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "upload")
        return RunUpload(rest);
    if (args[0] == "show")
        return RunShow(rest);
    if (args[0] == "template")
        return cli::RunProfileTemplate(rest);
    return UsageError("unknown subcommand '" + args[0] + "'", kUsage);
}

}  // namespace

CALVERO_CLI_COMMAND("profile", kUsage, RunProfile);
