#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

// Operators are not root: what touches permissions runs again as user nobody (setpriv).
namespace as_nobody {

inline std::string FindInPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + '/' + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// The first folder on the way to file (or the file itself) that others may not pass; "" when
// none. User nobody is neither owner nor group of the build tree.
inline std::string ClosedToOthers(const std::string& file)
{
    for (std::size_t end = file.find('/', 1);; end = file.find('/', end + 1)) {
        const std::string part = file.substr(0, end);
        struct stat info{};
        if (stat(part.c_str(), &info) != 0 || !(info.st_mode & S_IXOTH))
            return part;
        if (end == std::string::npos)
            return {};
    }
}

}  // namespace as_nobody

// The command prefix that runs program as user nobody without supplementary groups; empty, with
// the reason in skip, when this machine cannot: not root, no setpriv, or program out of reach.
inline std::vector<std::string> AsNobody(const std::string& program, std::string& skip)
{
    if (geteuid() != 0) {
        skip = "not root: cannot run as user nobody";
        return {};
    }
    const std::string setpriv = as_nobody::FindInPath("setpriv");
    if (setpriv.empty()) {
        skip = "no setpriv: cannot run as user nobody";
        return {};
    }
    if (const std::string closed = as_nobody::ClosedToOthers(program); !closed.empty()) {
        skip = "user nobody cannot reach " + closed + ": make the build tree readable by others";
        return {};
    }
    return {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
}
