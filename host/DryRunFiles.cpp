#include "host/DryRunFiles.h"

#include <algorithm>
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
        // The changed stretch between what both share at the start and at the end.
        std::size_t head = 0;
        while (head < a.size() && head < b.size() && a[head] == b[head])
            ++head;
        std::size_t tail = 0;
        while (tail < a.size() - head && tail < b.size() - head &&
               a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
            ++tail;
        out += "\n; " + std::string(c.before ? "file " : "new file ") + c.path + "\n";
        for (std::size_t i = head; i < a.size() - tail; ++i)
            out += ";-" + a[i] + "\n";
        for (std::size_t i = head; i < b.size() - tail; ++i)
            out += ";+" + b[i] + "\n";
    }
    return out;
}

} // namespace ravelin
