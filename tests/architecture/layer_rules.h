#pragma once
// The folder layers of src/ as ARCHITECTURE.md draws them, and the check of
// every quoted include against them. Plain functions over text, so that the
// rules can be tried on made-up includes as well as on the real tree.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace layers {

// Folders per layer, bottom first: "platform → link, xml → bake" gives
// {{"platform"}, {"link", "xml"}, {"bake"}}.
using LayerTable = std::vector<std::vector<std::string>>;

// The table from the one line of the "layers" block of the document; empty
// when the document has no such block or the line is malformed.
LayerTable ParseLayerLine(std::string_view line);
LayerTable LayersFromDocument(std::string_view markdown);

// The folder a path under src/ belongs to: the longest folder of the table
// that is a prefix of it ("bake/ui/x.h" is bake/ui, "bake/x.h" is bake).
std::optional<std::string> FolderOf(const LayerTable& table, std::string_view path);

// Why a file in `fromFolder` may not include `included` (a path under src/,
// as written in the include); empty when it may.
std::string IncludeProblem(const LayerTable& table, std::string_view fromFolder,
                           std::string_view included);

// Every quoted include of the file text that has a folder part, with its
// 1-based line number.
struct Include {
    int line = 0;
    std::string path;
};
std::vector<Include> QuotedIncludes(std::string_view text);

// "file:line: problem" for every include under `srcRoot` against the table;
// files in folders the table does not know are reported too.
std::vector<std::string> CheckTree(const LayerTable& table, const std::string& srcRoot);

}  // namespace layers
