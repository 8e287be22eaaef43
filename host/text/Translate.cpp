#include "host/text/Translate.h"

#include <cstdlib>

namespace ravelin::text {

namespace {
std::string& language() {
    static std::string current = "de";
    return current;
}
} // namespace

const std::string& CurrentLanguage() {
    return language();
}

void SetLanguage(std::string_view requested) {
    // Only German exists until a catalogue is installed.
    (void)requested;
    language() = "de";
}

std::string LanguageFromLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        const std::string_view v(value);
        // "C" and "POSIX" name no language; the first variable set decides all the same.
        if (v == "C" || v == "POSIX" || v.starts_with("C.")) return "de";
        std::string code;
        for (char c : v.substr(0, 2))
            if (c >= 'a' && c <= 'z') code += c;
        return code.size() == 2 ? code : "de";
    }
    return "de";
}

std::string tr(std::string_view german) {
    return std::string(german);
}

std::string formatText(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            const char next = pattern[i + 1];
            if (next == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (next >= '1' && next <= '9') {
                const auto index = static_cast<std::size_t>(next - '1');
                if (index < values.size()) {
                    out += *(values.begin() + index);
                    ++i;
                    continue;
                }
            }
        }
        out += c;
    }
    return out;
}

} // namespace ravelin::text
