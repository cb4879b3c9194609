#include "tests/architecture/layer_rules.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace layers {

namespace {

constexpr std::string_view kArrow = "\xE2\x86\x92";  // →
constexpr std::string_view kBlockStart = "```layers";

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

std::vector<std::string_view> Split(std::string_view s, std::string_view separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = s.find(separator);
        parts.push_back(s.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        s.remove_prefix(at + separator.size());
    }
}

// Index of the layer that holds the folder, or -1.
int LayerOf(const LayerTable& table, std::string_view folder) {
    for (size_t i = 0; i < table.size(); ++i)
        if (std::find(table[i].begin(), table[i].end(), folder) != table[i].end())
            return static_cast<int>(i);
    return -1;
}

bool IsSourceFile(const std::filesystem::path& p) {
    const auto ext = p.extension();
    return ext == ".h" || ext == ".cpp";
}

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

LayerTable ParseLayerLine(std::string_view line) {
    LayerTable table;
    for (std::string_view layer : Split(line, kArrow)) {
        std::vector<std::string> folders;
        for (std::string_view folder : Split(layer, ",")) {
            folder = Trim(folder);
            if (folder.empty())
                return {};
            folders.emplace_back(folder);
        }
        table.push_back(std::move(folders));
    }
    return table.size() < 2 ? LayerTable{} : table;
}

LayerTable LayersFromDocument(std::string_view markdown) {
    const auto start = markdown.find(kBlockStart);
    if (start == std::string_view::npos)
        return {};
    std::string_view rest = markdown.substr(start + kBlockStart.size());
    const auto lineStart = rest.find('\n');
    if (lineStart == std::string_view::npos)
        return {};
    rest.remove_prefix(lineStart + 1);
    return ParseLayerLine(rest.substr(0, rest.find('\n')));
}

std::optional<std::string> FolderOf(const LayerTable& table, std::string_view path) {
    std::optional<std::string> best;
    for (const auto& layer : table) {
        for (const std::string& folder : layer) {
            const bool prefix = path.size() > folder.size() && path.starts_with(folder) &&
                                path[folder.size()] == '/';
            if (prefix && (!best || folder.size() > best->size()))
                best = folder;
        }
    }
    return best;
}

std::string IncludeProblem(const LayerTable& table, std::string_view fromFolder,
                           std::string_view included) {
    const std::optional<std::string> to = FolderOf(table, included);
    if (!to)
        return "includes \"" + std::string(included) + "\", which is in no layer";
    if (*to == fromFolder)
        return {};
    const int from = LayerOf(table, fromFolder);
    const int target = LayerOf(table, *to);
    if (from < 0)
        return "is in " + std::string(fromFolder) + ", which is in no layer";
    if (target < from)
        return {};
    const char* why = target == from ? "on the same layer as" : "above";
    return "includes \"" + std::string(included) + "\": " + *to + " is " + why + " " +
           std::string(fromFolder);
}

std::vector<Include> QuotedIncludes(std::string_view text) {
    std::vector<Include> found;
    int lineNo = 0;
    for (std::string_view line : Split(text, "\n")) {
        ++lineNo;
        line = Trim(line);
        if (!line.starts_with('#'))
            continue;
        line = Trim(line.substr(1));
        if (!line.starts_with("include"))
            continue;
        line = Trim(line.substr(7));
        if (!line.starts_with('"'))
            continue;
        const auto end = line.find('"', 1);
        if (end == std::string_view::npos)
            continue;
        const std::string_view path = line.substr(1, end - 1);
        if (path.find('/') != std::string_view::npos)
            found.push_back({lineNo, std::string(path)});
    }
    return found;
}

std::vector<std::string> CheckTree(const LayerTable& table, const std::string& srcRoot) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(srcRoot))
        if (entry.is_regular_file() && IsSourceFile(entry.path()))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());

    std::vector<std::string> problems;
    for (const fs::path& file : files) {
        const std::string relative = fs::relative(file, srcRoot).generic_string();
        const std::string shown = "src/" + relative;
        const std::optional<std::string> folder = FolderOf(table, relative);
        if (!folder) {
            problems.push_back(shown + ":1: is in a folder that is in no layer");
            continue;
        }
        for (const Include& inc : QuotedIncludes(ReadFile(file))) {
            const std::string problem = IncludeProblem(table, *folder, inc.path);
            if (!problem.empty())
                problems.push_back(shown + ":" + std::to_string(inc.line) + ": " + problem);
        }
    }
    return problems;
}

}  // namespace layers
