#include "host/Nxfilechanges.h"

#include "host/Nxregistry.h"
#include "host/registry/Registry.h"

#include <algorithm>

namespace ravelin {

namespace {

std::vector<DryRunFile> gDryRunFiles; // the module-level record of one dry run
std::vector<DryRunEffectEntry> gDryRunEffects;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size() - 1;
        lines.push_back(text.substr(start, end - start + 1));
        start = end + 1;
    }
    return lines;
}

struct Op {
    char kind;        // ' ', '-', '+'
    std::size_t a, b; // indices into the old and new lines
};

// The edit script between two line lists: common ends trimmed, then the longest common
// subsequence of the middle (which is small for the changes a page makes).
std::vector<Op> diffLines(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::size_t pre = 0;
    while (pre < a.size() && pre < b.size() && a[pre] == b[pre])
        ++pre;
    std::size_t suf = 0;
    while (suf < a.size() - pre && suf < b.size() - pre &&
           a[a.size() - 1 - suf] == b[b.size() - 1 - suf])
        ++suf;
    const std::size_t n = a.size() - pre - suf, m = b.size() - pre - suf;
    std::vector<Op> ops;
    for (std::size_t i = 0; i < pre; ++i)
        ops.push_back({' ', i, i});
    if (n * m <= 4'000'000) {
        std::vector<std::vector<unsigned>> lcs(n + 1, std::vector<unsigned>(m + 1, 0));
        for (std::size_t i = n; i-- > 0;)
            for (std::size_t j = m; j-- > 0;)
                lcs[i][j] = a[pre + i] == b[pre + j] ? lcs[i + 1][j + 1] + 1
                                                     : std::max(lcs[i + 1][j], lcs[i][j + 1]);
        std::size_t i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && a[pre + i] == b[pre + j]) {
                ops.push_back({' ', pre + i++, pre + j++});
            } else if (i < n && (j == m || lcs[i + 1][j] >= lcs[i][j + 1])) {
                ops.push_back({'-', pre + i++, pre + j});
            } else {
                ops.push_back({'+', pre + i, pre + j++});
            }
        }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            ops.push_back({'-', pre + i, pre});
        for (std::size_t j = 0; j < m; ++j)
            ops.push_back({'+', pre + n, pre + j});
    }
    for (std::size_t k = 0; k < suf; ++k)
        ops.push_back({' ', pre + n + k, pre + m + k});
    return ops;
}

void putLine(std::string& out, char kind, const std::string& line) {
    out.push_back(kind);
    out += line;
    if (line.empty() || line.back() != '\n') out += "\n\\ No newline at end of file\n";
}

} // namespace

bool DryRunFilesActive() {
    registry::Registry* reg = CurrentRegistry();
    return reg && reg->dryRun();
}

void DryRunFileWrite(const std::string& path, const std::optional<std::string>& content,
                     const std::optional<std::string>& original) {
    for (auto& f : gDryRunFiles)
        if (f.path == path) {
            f.current = content;
            return;
        }
    gDryRunFiles.push_back({path, original, content});
}

const std::optional<std::string>* DryRunFileContent(const std::string& path) {
    for (const auto& f : gDryRunFiles)
        if (f.path == path) return &f.current;
    return nullptr;
}

const std::vector<DryRunFile>& DryRunFiles() {
    return gDryRunFiles;
}

void ClearDryRunFiles() {
    gDryRunFiles.clear();
    gDryRunEffects.clear();
}

void DryRunEffect(const std::string& path, const std::string& what) {
    gDryRunEffects.push_back({path, what});
}

const std::vector<DryRunEffectEntry>& DryRunEffects() {
    return gDryRunEffects;
}

bool DryRunFolderPlanned(const std::string& path) {
    return std::any_of(gDryRunEffects.begin(), gDryRunEffects.end(),
                       [&](const auto& e) { return e.path == path && e.what == "folder created"; });
}

std::string UnifiedDiff(const std::string& path, const std::optional<std::string>& before,
                        const std::optional<std::string>& after) {
    if (before == after) return {};
    const auto a = splitLines(before.value_or("")), b = splitLines(after.value_or(""));
    const auto ops = diffLines(a, b);
    std::string out = "--- " + (before ? path : std::string("/dev/null")) + "\n+++ " +
                      (after ? path : std::string("/dev/null")) + "\n";
    constexpr std::size_t kContext = 3;
    std::size_t k = 0;
    while (k < ops.size()) {
        // The next change, with its context; hunks closer than twice the context merge.
        while (k < ops.size() && ops[k].kind == ' ')
            ++k;
        if (k == ops.size()) break;
        std::size_t start = k >= kContext ? k - kContext : 0;
        std::size_t end = k;
        while (true) {
            while (end < ops.size() && ops[end].kind != ' ')
                ++end;
            std::size_t next = end;
            while (next < ops.size() && ops[next].kind == ' ')
                ++next;
            if (next < ops.size() && next - end <= 2 * kContext)
                end = next;
            else {
                end = std::min(ops.size(), end + kContext);
                break;
            }
        }
        std::size_t aStart = ops[start].a, bStart = ops[start].b, aCount = 0, bCount = 0;
        for (std::size_t i = start; i < end; ++i) {
            if (ops[i].kind != '+') ++aCount;
            if (ops[i].kind != '-') ++bCount;
        }
        auto range = [](std::size_t first, std::size_t count) {
            // A range of no lines names the line before it, as diff does.
            return std::to_string(count ? first + 1 : first) +
                   (count == 1 ? std::string() : "," + std::to_string(count));
        };
        out += "@@ -" + range(aStart, aCount) + " +" + range(bStart, bCount) + " @@\n";
        for (std::size_t i = start; i < end; ++i)
            putLine(out, ops[i].kind, ops[i].kind == '+' ? b[ops[i].b] : a[ops[i].a]);
        k = end;
    }
    return out;
}

} // namespace ravelin
