// The layers of the program and what each may include, read from the sources themselves: an
// include that runs up a layer, or widgets below the window's layers, fail here. ARCHITECTURE.md
// gives the same order.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Lowest first: a folder may include its own layer and those before it.
const std::vector<std::string> kLayers = {"common",  "values",  "logs",    "transport", "device", "history",
                                          "files",   "publish", "station", "dialogs",   "trends", "app"};
// The tools sit on a layer: the simulator shares the register map, the headless companion is a
// face of the station, the dispatcher's page draws the grid by the station's rules.
const std::map<std::string, std::string> kTools = {
    {"vantor-sim", "device"}, {"orvela-cli", "station"}, {"orvela-dispatch", "station"}};
// The first layer that may use Qt Widgets.
const std::string kFirstWidgetLayer = "dialogs";

int Rank(const std::string& layer)
{
    for (std::size_t i = 0; i < kLayers.size(); ++i)
        if (kLayers[i] == layer)
            return int(i);
    return -1;
}

struct Include
{
    std::string File;
    int Line;
    std::string Target;  // "device/Vantor.h" or "QWidget"
    bool System;         // <...>
};

std::vector<Include> IncludesOf(const fs::path& file, const std::string& shown)
{
    static const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<Include> found;
    std::ifstream in(file);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (std::smatch m; std::regex_search(line, m, include))
            found.push_back({shown, n, m[2], m[1] == "<"});
    return found;
}

bool IsWidgetsHeader(const std::string& header)
{
    return fs::exists(fs::path(ORVELA_QT_WIDGETS_DIR) / header) || header.rfind("QtWidgets/", 0) == 0;
}

// The layer each source file is in, by its folder; tools by the layer they sit on.
std::vector<std::pair<fs::path, std::string>> Sources()
{
    std::vector<std::pair<fs::path, std::string>> files;
    const fs::path root(ORVELA_SOURCE_DIR);
    for (const char* top : {"src", "tools"})
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root / top)) {
            const std::string extension = entry.path().extension().string();
            if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp"))
                continue;
            const std::string folder = fs::relative(entry.path(), root / top).begin()->string();
            files.emplace_back(entry.path(), std::string(top) == "src" ? folder : "tools/" + folder);
        }
    return files;
}

}  // namespace

TEST(IncludeLayers, EveryIncludePointsDownOrAcrossAndWidgetsStayInTheWindowsLayers)
{
    const fs::path root(ORVELA_SOURCE_DIR);
    const std::vector<std::pair<fs::path, std::string>> files = Sources();
    ASSERT_GT(files.size(), 100u) << "the sources were not found under " << root;
    std::vector<std::string> wrong;
    for (const auto& [file, folder] : files) {
        const bool tool = folder.rfind("tools/", 0) == 0;
        const std::string layer = tool ? (kTools.count(folder.substr(6)) ? kTools.at(folder.substr(6)) : "") : folder;
        const int rank = Rank(layer);
        const std::string shown = fs::relative(file, root).string();
        if (rank < 0) {
            wrong.push_back(shown + ": a folder the layer order does not name");
            continue;
        }
        for (const Include& include : IncludesOf(file, shown)) {
            const std::string where = include.File + ":" + std::to_string(include.Line) + ": ";
            if (include.System) {
                if (rank < Rank(kFirstWidgetLayer) && IsWidgetsHeader(include.Target))
                    wrong.push_back(where + "<" + include.Target + "> is Qt Widgets, below the window's layers");
                continue;
            }
            const std::size_t slash = include.Target.find('/');
            if (slash == std::string::npos)
                continue;  // beside the file, or generated for it
            const std::string target = include.Target.substr(0, slash);
            if (Rank(target) < 0) {
                if (!fs::exists(file.parent_path() / include.Target))
                    wrong.push_back(where + include.Target + " is in no layer");
                continue;
            }
            if (Rank(target) > rank)
                wrong.push_back(where + include.Target + " runs up from " + layer + " to " + target);
        }
    }
    EXPECT_TRUE(wrong.empty()) << [&] {
        std::string all;
        for (const std::string& w : wrong)
            all += w + "\n";
        return all;
    }();
}
