#include "host/opera/OperaIniFile.h"

#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>

namespace ravelin::opera {

namespace {

constexpr const char* kHeader = "Opera Preferences version 2.1";
constexpr const char* kBom = "\xEF\xBB\xBF";

using text::equalsIgnoringCase;
using text::kSpaceAndTab;
using text::trimmed;

std::string unquote(const std::string& v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
    return v;
}

} // namespace

std::string refusedText(const std::string& section, const std::string& key,
                        const std::string& value) {
    // A line break would end the line early: the rest would be read as keys or sections of
    // its own. A NUL ends the text for Opera's reader.
    auto breaks = [](const std::string& s) {
        return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
    };
    if (breaks(value))
        return text::trf("Der Wert für \"%1\" enthält einen Zeilenumbruch; ein Wert muss in einer "
                         "Zeile stehen.",
                         key);
    if (breaks(key) || key.empty() || key.find('=') != std::string::npos || key.front() == '[' ||
        key.front() == ';')
        return text::trf("Der Name \"%1\" ist als Einstellung nicht möglich.", key);
    if (breaks(section) || section.empty() || section.find(']') != std::string::npos)
        return text::trf("Der Abschnitt \"%1\" ist nicht möglich.", section);
    return {};
}

std::string quoteOperaValue(const std::string& value) {
    const bool needs =
        !value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                           value.back() == '\t' || value.front() == '"' || value.back() == '"');
    return needs ? "\"" + value + "\"" : value;
}

OperaIniFile::OperaIniFile() {
    lines_.push_back(classify(kHeader, eol_, ""));
}

OperaIniFile::Line OperaIniFile::classify(std::string text, std::string eol,
                                          const std::string& section) {
    Line line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    const std::string t = trimmed(line.text, kSpaceAndTab);
    line.kind = Kind::Other;
    line.section = section;
    if (t.empty() || t[0] == ';') return line;
    if (t[0] == '[') {
        line.kind = Kind::Section;
        line.name = trimmed(t.substr(1, t.rfind(']') - 1), kSpaceAndTab);
        return line;
    }
    if (section.empty()) return line; // the header and whatever precedes the first section
    line.kind = Kind::Key;
    const auto eq = line.text.find('=');
    if (eq == std::string::npos) {
        line.name = t;
    } else {
        line.name = trimmed(line.text.substr(0, eq), kSpaceAndTab);
        line.value = unquote(trimmed(line.text.substr(eq + 1), kSpaceAndTab));
    }
    return line;
}

OperaIniFile OperaIniFile::parse(const std::string& bytes, const std::string& name) {
    OperaIniFile f;
    f.lines_.clear();
    std::size_t pos = 0;
    f.bom_ = bytes.compare(0, 3, kBom) == 0;
    if (f.bom_) pos = 3;
    if (bytes.size() >= 2 &&
        ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
        throw OperaFileError(text::trf("%1: Zeile 1: UTF-16-Text, erwartet wird UTF-8", name));
    std::string section;
    bool eolKnown = false;
    int number = 0;
    while (pos < bytes.size()) {
        ++number;
        // A line ends at CR LF, LF or a lone CR (as older Mac editors leave them).
        const auto end = bytes.find_first_of("\r\n", pos);
        Line line;
        if (end == std::string::npos) {
            line.text = bytes.substr(pos);
            pos = bytes.size();
        } else {
            line.text = bytes.substr(pos, end - pos);
            if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
                line.eol = "\r\n";
            else
                line.eol = std::string(1, bytes[end]);
            pos = end + line.eol.size();
        }
        if (line.text.find('\0') != std::string::npos)
            throw OperaFileError(
                text::trf("%1: Zeile %2: Nullbyte, keine Textdatei", name, std::to_string(number)));
        if (!eolKnown && !line.eol.empty()) {
            f.eol_ = line.eol;
            eolKnown = true;
        }
        const std::string t = trimmed(line.text, kSpaceAndTab);
        if (!t.empty() && t[0] == '[') {
            if (t.find(']') == std::string::npos)
                throw OperaFileError(text::trf("%1: Zeile %2: Abschnittsname ohne \"]\"", name,
                                               std::to_string(number)));
            section = trimmed(t.substr(1, t.rfind(']') - 1), kSpaceAndTab);
        }
        f.lines_.push_back(classify(std::move(line.text), std::move(line.eol), section));
    }
    return f;
}

std::string OperaIniFile::bytes() const {
    std::string out = bom_ ? kBom : "";
    for (const auto& l : lines_)
        out += l.text + l.eol;
    return out;
}

std::optional<std::string> OperaIniFile::get(const std::string& section,
                                             const std::string& key) const {
    std::optional<std::string> result;
    for (const auto& l : lines_)
        if (l.kind == Kind::Key && equalsIgnoringCase(l.section, section) &&
            equalsIgnoringCase(l.name, key))
            result = l.value;
    return result;
}

bool OperaIniFile::set(const std::string& section, const std::string& key,
                       const std::string& value) {
    if (std::string why = refusedText(section, key, value); !why.empty()) throw OperaFileError(why);
    const std::string encoded = quoteOperaValue(value);
    bool found = false, changed = false;
    for (auto& l : lines_) {
        if (l.kind != Kind::Key || !equalsIgnoringCase(l.section, section) ||
            !equalsIgnoringCase(l.name, key))
            continue;
        found = true;
        const auto eq = l.text.find('=');
        std::string text =
            eq == std::string::npos ? l.text + "=" + encoded : l.text.substr(0, eq + 1) + encoded;
        if (text != l.text) {
            l = classify(text, l.eol, l.section);
            changed = true;
        }
    }
    if (found) return changed;

    // Ends the last line so that a line can follow it.
    auto endLast = [this] {
        if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = eol_;
    };
    Line added = classify(key + "=" + encoded, eol_, section);
    // After the last non-blank line of the last section of that name.
    std::optional<std::size_t> insertAt;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto& l = lines_[i];
        if (l.kind == Kind::Section && equalsIgnoringCase(l.name, section))
            insertAt = i + 1;
        else if (insertAt && equalsIgnoringCase(l.section, section) && l.kind != Kind::Section &&
                 !trimmed(l.text, kSpaceAndTab).empty())
            insertAt = i + 1;
    }
    if (insertAt) {
        if (*insertAt == lines_.size() && lines_.back().eol.empty()) {
            // A file without a final line ending keeps that style: the added line ends it.
            endLast();
            added.eol.clear();
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(added));
        return true;
    }
    endLast();
    if (!lines_.empty() && !trimmed(lines_.back().text, kSpaceAndTab).empty())
        lines_.push_back(classify("", eol_, lines_.back().section));
    lines_.push_back(classify("[" + section + "]", eol_, section));
    lines_.push_back(std::move(added));
    return true;
}

std::vector<std::string> OperaIniFile::sections() const {
    std::vector<std::string> out;
    for (const auto& l : lines_)
        if (l.kind == Kind::Section && std::none_of(out.begin(), out.end(), [&](const auto& s) {
                return equalsIgnoringCase(s, l.name);
            }))
            out.push_back(l.name);
    return out;
}

std::vector<std::pair<std::string, std::string>>
OperaIniFile::entries(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& l : lines_)
        if (l.kind == Kind::Key && equalsIgnoringCase(l.section, section))
            out.emplace_back(l.name, l.value);
    return out;
}

} // namespace ravelin::opera
