#include "host/machine/ProfileFile.h"

#include "host/registry/FileUtil.h"
#include "host/registry/Types.h"
#include "host/text/Text.h"

#include <algorithm>

namespace ravelin::machine {

namespace {

using text::trimmed;

std::string decode(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        return text::utf16ToUtf8(text::bytesToUtf16(
            reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2, bytes.size() - 2));
    std::string_view body = bytes;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    if (text::isValidUtf8(body)) return std::string(body);
    return text::cp1252ToUtf8(body);
}

} // namespace

ProfileFile ProfileFile::parse(const std::string& bytes) {
    ProfileFile f;
    std::string textData = decode(bytes);
    std::string section;
    bool inSection = false;
    std::size_t pos = 0;
    while (pos <= textData.size()) {
        std::size_t nl = textData.find('\n', pos);
        if (nl == std::string::npos) nl = textData.size();
        std::string line = trimmed(std::string_view(textData).substr(pos, nl - pos));
        pos = nl + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            std::size_t close = line.find(']');
            section = trimmed(std::string_view(line).substr(
                1, close == std::string::npos ? std::string::npos : close - 1));
            inSection = true;
            if (std::none_of(f.sections_.begin(), f.sections_.end(),
                             [&](const std::string& s) { return text::namesEqual(s, section); }))
                f.sections_.push_back(section);
            continue;
        }
        if (!inSection) continue;
        std::size_t eq = line.find('=');
        Entry e;
        e.section = section;
        if (eq == std::string::npos) {
            e.key = line; // a key without "=": listed, with no value
            e.hasValue = false;
        } else {
            e.key = trimmed(std::string_view(line).substr(0, eq));
            e.value = trimmed(std::string_view(line).substr(eq + 1));
            if (e.value.size() >= 2 && e.value.front() == '"' && e.value.back() == '"')
                e.value = e.value.substr(1, e.value.size() - 2);
            e.hasValue = true;
        }
        f.entries_.push_back(std::move(e));
    }
    return f;
}

bool ProfileFile::load(const std::string& path, ProfileFile& out) {
    try {
        out = parse(registry::readWholeFile(path));
        return true;
    } catch (const RegistryAccessError&) {
        return false;
    }
}

std::string ProfileFile::get(const std::string& section, const std::string& key,
                             const std::string& def) const {
    for (const auto& e : entries_)
        if (e.hasValue && text::namesEqual(e.section, section) && text::namesEqual(e.key, key))
            return e.value;
    return def;
}

bool ProfileFile::has(const std::string& section, const std::string& key) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.hasValue && text::namesEqual(e.section, section) && text::namesEqual(e.key, key);
    });
}

std::vector<std::string> ProfileFile::sections() const {
    return sections_;
}

std::vector<std::string> ProfileFile::keys(const std::string& section) const {
    std::vector<std::string> out;
    for (const auto& e : entries_)
        if (text::namesEqual(e.section, section) &&
            std::none_of(out.begin(), out.end(),
                         [&](const std::string& k) { return text::namesEqual(k, e.key); }))
            out.push_back(e.key);
    return out;
}

} // namespace ravelin::machine
