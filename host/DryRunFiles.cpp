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

// The lines one text has and the other lacks, in order, as "-" and "+" comment lines: what
// both share at the start and the end is skipped, the rest compared by the shortest edit
// (Myers), which is quick for the few lines a change touches.
std::vector<std::string> changedLines(const std::vector<std::string>& a,
                                      const std::vector<std::string>& b) {
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const auto n = static_cast<long>(a.size() - head - tail);
    const auto m = static_cast<long>(b.size() - head - tail);
    auto A = [&](long i) -> const std::string& { return a[head + static_cast<std::size_t>(i)]; };
    auto B = [&](long j) -> const std::string& { return b[head + static_cast<std::size_t>(j)]; };
    // trace[d][k + d]: the furthest x reached on diagonal k = x - y with d edits.
    constexpr long kMaxEdits = 2000; // beyond that: all out, all in
    std::vector<std::vector<long>> trace;
    long found = -1;
    for (long d = 0; d <= std::min(n + m, kMaxEdits) && found < 0; ++d) {
        std::vector<long> row(static_cast<std::size_t>(2 * d + 1), 0);
        auto prev = [&](long k) { return trace.back()[static_cast<std::size_t>(k + d - 1)]; };
        for (long k = -d; k <= d; k += 2) {
            long x = 0;
            if (d > 0)
                x = (k == -d || (k != d && prev(k - 1) < prev(k + 1))) ? prev(k + 1)
                                                                       : prev(k - 1) + 1;
            long y = x - k;
            while (x < n && y < m && A(x) == B(y)) {
                ++x;
                ++y;
            }
            row[static_cast<std::size_t>(k + d)] = x;
            if (x >= n && y >= m) found = d;
        }
        trace.push_back(std::move(row));
    }
    std::vector<std::string> edits; // last first
    if (found < 0) {
        for (long j = m; j-- > 0;)
            edits.push_back(";+" + B(j));
        for (long i = n; i-- > 0;)
            edits.push_back(";-" + A(i));
    } else {
        long x = n, y = m;
        for (long d = found; d > 0; --d) {
            const auto& row = trace[static_cast<std::size_t>(d - 1)];
            auto get = [&](long k) { return row[static_cast<std::size_t>(k + d - 1)]; };
            const long k = x - y;
            const bool down = k == -d || (k != d && get(k - 1) < get(k + 1));
            const long pk = down ? k + 1 : k - 1;
            const long px = get(pk), py = px - pk;
            edits.push_back(down ? ";+" + B(py) : ";-" + A(px));
            x = px;
            y = py;
        }
    }
    return {edits.rbegin(), edits.rend()};
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
        out += "\n; " + std::string(c.before ? "file " : "new file ") + c.path + "\n";
        for (const auto& line : changedLines(lines(c.before.value_or("")), lines(c.after)))
            out += line + "\n";
    }
    return out;
}

} // namespace ravelin
