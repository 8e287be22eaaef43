#include "host/Stringhelper.h"

#include "host/text/Text.h"

#include <utility>
#include <vector>

namespace ravelin {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// [begin, end) of each word.
std::vector<std::pair<std::size_t, std::size_t>> words(const std::string& text) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isBlank(text[i]))
            ++i;
        if (i >= text.size()) break;
        std::size_t start = i;
        while (i < text.size() && !isBlank(text[i]))
            ++i;
        out.emplace_back(start, i);
    }
    return out;
}

} // namespace

int ParamCount(const std::string& text) {
    return static_cast<int>(words(text).size());
}

std::string Param(const std::string& text, int n) {
    auto w = words(text);
    if (n < 1 || static_cast<std::size_t>(n) > w.size()) return {};
    return text.substr(w[n - 1].first, w[n - 1].second - w[n - 1].first);
}

std::string GetRest(const std::string& text, int n) {
    auto w = words(text);
    if (n < 1 || static_cast<std::size_t>(n) > w.size()) return {};
    return text.substr(w[n - 1].first, w.back().second - w[n - 1].first);
}

std::string Trim(const std::string& s) {
    return text::trimmed(s, text::kControlsAndSpace);
}

std::string ParamX(const std::string& text, int n, char separator) {
    if (n < 1) return {};
    std::size_t start = 0;
    for (int field = 1; field < n; ++field) {
        start = text.find(separator, start);
        if (start == std::string::npos) return {};
        ++start;
    }
    const std::size_t end = text.find(separator, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

} // namespace ravelin
