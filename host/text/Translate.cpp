#include "host/text/Translate.h"

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
