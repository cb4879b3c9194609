#include "cli/command_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <set>

#include "chart/chart_set.h"
#include "platform/replacing_file.h"
#include "platform/system_error_text.h"
#include "platform/text_conversion.h"

namespace cli {

namespace {

// The reason of the first failed write to standard output; 0 while all went well.
int g_stdoutError = 0;

void NoteStdoutFailure(int err) {
    if (g_stdoutError == 0)
        g_stdoutError = err != 0 ? err : EIO;
}

std::wstring Wide(const std::string& s) {
    std::wstring w;
    if (!platform::Utf8ToWide(s, w))
        w.assign(s.begin(), s.end());  // bytes as they are
    return w;
}

void ReportFile(const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "calveroctl: %s: %s\n", path.c_str(), reason.c_str());
}

}  // namespace

void Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    errno = 0;
    if (std::vfprintf(stdout, format, args) < 0)
        NoteStdoutFailure(errno);
    va_end(args);
}

void Write(std::string_view text) {
    errno = 0;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        NoteStdoutFailure(errno);
}

bool FlushStdout() {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        NoteStdoutFailure(errno);
    return g_stdoutError == 0;
}

int FinishStdout(int code) {
    FlushStdout();
    // Some filesystems report a failed write only when the file is closed.
    errno = 0;
    if (std::fclose(stdout) != 0)
        NoteStdoutFailure(errno);
    if (g_stdoutError == 0)
        return code;
    std::fprintf(stderr, "calveroctl: cannot write to standard output: %s\n",
                 platform::SystemErrorText(g_stdoutError).c_str());
    return code != 0 ? code : kExitOutputFailed;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
    if (path == "-") {
        Write(bytes);
        if (FlushStdout())
            return true;
        return false;  // FinishStdout says why
    }
    // A half-written picture is worse than none, and a failed one must not
    // take the old picture with it.
    platform::ReplacingFile file;
    if (file.Open(path) && file.Write(bytes.data(), bytes.size()) && file.Commit())
        return true;
    ReportFile(path, platform::SystemErrorText(file.Error()));
    return false;
}

bool CheckReadable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        ReportFile(path, platform::SystemErrorText(errno));
        return false;
    }
    ::close(fd);
    return true;
}

void ReportFileProblem(const std::string& path, const std::string& reason) {
    ReportFile(path, reason);
}

bool LoadChartFile(const std::string& path, chart::ChartSet& model) {
    // The system says best why a file cannot be opened; the reader, what is
    // wrong inside it.
    if (!CheckReadable(path))
        return false;
    std::set<int> ids;
    std::wstring error;
    if (model.LoadChartsXml(Wide(path), ids, error))
        return true;
    // What fails about the file itself the reader already says with its
    // name; what fails inside it, the reader says without.
    const std::string text = platform::WideToUtf8(error);
    if (text.find('"' + path + '"') != std::string::npos)
        std::fprintf(stderr, "calveroctl: %s\n", text.c_str());
    else
        ReportFile(path, text);
    return false;
}

}  // namespace cli
