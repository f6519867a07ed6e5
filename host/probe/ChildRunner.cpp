// What the runner does alike on every platform; the runner itself is
// ChildRunnerPosix.cpp or ChildRunnerWin.cpp.
#include "ChildRunner.h"

namespace zohost::probe {

std::string outputGist(const std::string& out) {
    std::string picked, last;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty()) continue;
        last = line;
        if (line.find("Assertion") != std::string::npos || line.find("SUMMARY:") != std::string::npos ||
            line.find("runtime error") != std::string::npos || line.find("ERROR:") != std::string::npos)
            picked += (picked.empty() ? "" : " | ") + line;
    }
    std::string g = picked.empty() ? last : picked;
    if (g.size() > 400) g = g.substr(0, 400) + "...";
    return g;
}

}  // namespace zohost::probe
