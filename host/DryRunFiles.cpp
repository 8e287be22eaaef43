#include "host/DryRunFiles.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace ravelin {

namespace {

std::vector<DryRunFileChange>& noted() {
    static std::vector<DryRunFileChange> changes;
    return changes;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    return out;
}

} // namespace

void NoteDryRunFileChange(const std::string& path, const std::optional<std::string>& before,
                          const std::string& after) {
    auto& all = noted();
    auto it = std::find_if(all.begin(), all.end(), [&](const auto& c) { return c.path == path; });
    if (it != all.end())
        it->after = after;
    else
        all.push_back({path, before, after});
}

std::vector<DryRunFileChange> TakeDryRunFileChanges() {
    return std::exchange(noted(), {});
}

std::string DescribeDryRunFileChanges(const std::vector<DryRunFileChange>& changes) {
    std::string out;
    for (const auto& c : changes) {
        if (c.before && *c.before == c.after) continue;
        const auto a = lines(c.before.value_or("")), b = lines(c.after);
        out += "\n; " + std::string(c.before ? "file " : "new file ") + c.path + "\n";
        // The lines one file has and the other lacks, in order (longest common subsequence).
        const std::size_t n = a.size(), m = b.size();
        std::vector<std::vector<std::uint32_t>> common(n + 1, std::vector<std::uint32_t>(m + 1));
        for (std::size_t i = n; i-- > 0;)
            for (std::size_t j = m; j-- > 0;)
                common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1
                                            : std::max(common[i + 1][j], common[i][j + 1]);
        std::size_t i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && a[i] == b[j]) {
                ++i;
                ++j;
            } else if (j == m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
                out += ";-" + a[i++] + "\n";
            } else {
                out += ";+" + b[j++] + "\n";
            }
        }
    }
    return out;
}

} // namespace ravelin
