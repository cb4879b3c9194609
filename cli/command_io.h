#pragma once
// calveroctl's reading and writing. Every write to standard output or to a
// file is checked, down to the last flush and close: a full disk or a closed
// output is a failure of the command, never a silent success.

#include <string>
#include <string_view>

namespace chart {
class ChartSet;
}

namespace cli {

// Exit code of a command whose output could not be written.
inline constexpr int kExitOutputFailed = 1;

// printf and fputs onto standard output; a failure is remembered with its
// reason for FinishStdout.
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Write(std::string_view text);
// Flushes standard output. False once any write to it has failed, so that
// a command streaming for ever (monitor) stops when nobody can take its lines.
bool FlushStdout();
// The end of every command: flushes and closes standard output. When a
// write failed, says why on standard error and turns success into
// kExitOutputFailed (a command's own failure keeps its code).
int FinishStdout(int code);

// Writes `bytes` as the whole content of `path`; "-" is standard output. On
// failure prints "calveroctl: PATH: reason" on standard error and returns
// false; a file that was there before stays as it was.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

// Whether `path` can be opened for reading; if not, prints "calveroctl:
// PATH: reason" (the system's) on standard error. Non-blocking, so that a
// pipe without a writer is refused by the reader instead of waited for.
bool CheckReadable(const std::string& path);

// Prints "calveroctl: PATH: reason" on standard error.
void ReportFileProblem(const std::string& path, const std::string& reason);

// Loads a chart file into `model`. On failure prints "calveroctl: PATH:
// reason" on standard error (the system's reason when the file cannot be
// opened, else the reader's) and returns false.
bool LoadChartFile(const std::string& path, chart::ChartSet& model);

}  // namespace cli
