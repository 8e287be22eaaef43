#include "host/registry/RegFile.h"

#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <cstdio>

namespace ravelin::registry {

namespace {

constexpr std::string_view kV5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kV4Header = "REGEDIT4";

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}
std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

// Decodes the file to UTF-8 lines: UTF-16LE with BOM, UTF-8 with or without BOM, else
// Windows-1252.
std::string decode(const std::string& bytes, const std::string& name, bool& wide) {
    wide = false;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        wide = true;
        if (bytes.size() % 2 != 0) {
            // Cut inside a code unit: the file is not whole.
            unsigned line = 1;
            for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
                if (bytes[i] == '\n' && bytes[i + 1] == '\0') ++line;
            throw RegistryFormatError(name, line,
                                      text::tr("Die Datei endet mitten in einem UTF-16-Zeichen "
                                               "(sie wurde abgeschnitten)."));
        }
        return text::utf16ToUtf8(text::bytesToUtf16(
            reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2, bytes.size() - 2));
    }
    std::string_view body = bytes;
    if (body.size() >= 3 && body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    if (text::isValidUtf8(body)) return std::string(body);
    return text::cp1252ToUtf8(body);
}

// Parses a quoted string starting after the opening quote; returns the position after
// the closing quote. \\ and \" are escapes; \n and \r, which some writers emit, too; a
// backslash before anything else is kept as it stands.
std::size_t parseQuoted(std::string_view s, std::size_t pos, std::string& out) {
    while (pos < s.size()) {
        char c = s[pos];
        if (c == '"') return pos + 1;
        if (c == '\\' && pos + 1 < s.size()) {
            char e = s[pos + 1];
            if (e == '\\' || e == '"') {
                out.push_back(e);
                pos += 2;
                continue;
            }
            if (e == 'n' || e == 'r') {
                out.push_back(e == 'n' ? '\n' : '\r');
                pos += 2;
                continue;
            }
        }
        out.push_back(c);
        ++pos;
    }
    throw std::invalid_argument(text::tr("Das schließende '\"' fehlt."));
}

// One pass over a decoded .reg file: the state that key lines, value lines and their
// continuations share.
class RegFileParser {
  public:
    RegFileParser(std::string text, const std::string& name)
        : name_(name), text_(std::move(text)) {}

    RegFileContent run() {
        splitLines();
        readHeader();
        for (++i_; i_ < lines_.size(); ++i_) {
            const unsigned lineNo = static_cast<unsigned>(i_ + 1);
            std::string_view line = trimLeft(lines_[i_]);
            // '#' lines are not in the format, but real files use them as comments and
            // regedit passes over them.
            if (line.empty() || line.front() == ';' || line.front() == '#') continue;
            if (line.front() == '[') {
                keyLine(line, lineNo);
                continue;
            }
            if (line.front() != '"' && line.front() != '@')
                fail(lineNo, text::tr("Die Zeile wird nicht erkannt."));
            if (!haveKey_) fail(lineNo, text::tr("Ein Wert steht außerhalb eines Schlüssels."));
            valueLine(line, lineNo);
        }
        return std::move(content_);
    }

  private:
    [[noreturn]] void fail(unsigned lineNo, const std::string& why) const {
        throw RegistryFormatError(name_, lineNo, why);
    }

    // Lines end in CR LF, LF or a CR alone (as old Mac editors save).
    void splitLines() {
        for (std::size_t pos = 0; pos <= text_.size();) {
            std::size_t nl = text_.find_first_of("\r\n", pos);
            if (nl == std::string::npos) nl = text_.size();
            lines_.push_back(trimRight(std::string_view(text_).substr(pos, nl - pos)));
            pos = nl + 1;
            if (nl < text_.size() && text_[nl] == '\r' && pos < text_.size() && text_[pos] == '\n')
                ++pos;
        }
    }

    // The first non-blank line names the version, which decides how string bytes are read.
    void readHeader() {
        while (i_ < lines_.size() && lines_[i_].empty())
            ++i_;
        if (i_ == lines_.size())
            fail(1, text::tr("Die Datei ist leer, keine Registrierungsdatei."));
        std::string_view header = trimLeft(lines_[i_]);
        if (header == kV5Header) {
            content_.version = RegFileContent::Version::V5;
        } else if (header == kV4Header) {
            content_.version = RegFileContent::Version::Regedit4;
        } else {
            fail(static_cast<unsigned>(i_ + 1),
                 text::tr("Das ist keine Registrierungsdatei (erwartet wird \"Windows Registry "
                          "Editor Version 5.00\" oder \"REGEDIT4\")."));
        }
        ansiStrings_ = content_.version == RegFileContent::Version::Regedit4;
    }

    // "[KEY]" creates the key and makes it current, "[-KEY]" deletes it.
    void keyLine(std::string_view line, unsigned lineNo) {
        // Names are not escaped: the last ']' ends the name, unless a comment follows.
        std::size_t close = line.rfind(']');
        if (std::size_t semi = line.find(';'); semi != std::string_view::npos) {
            std::size_t before = line.substr(0, semi).rfind(']');
            if (before != std::string_view::npos &&
                trimLeft(line.substr(before + 1, semi - before - 1)).empty())
                close = before;
        }
        if (close == std::string_view::npos || close == 0)
            fail(lineNo, text::tr("Der Schlüsselzeile fehlt die schließende ']'."));
        if (std::string_view tail = trimLeft(line.substr(close + 1));
            !tail.empty() && tail.front() != ';')
            fail(lineNo, text::tr("Unerwarteter Text nach der ']' des Schlüsselnamens."));
        std::string_view keyName = line.substr(1, close - 1);
        std::size_t depth = 0;
        for (std::size_t at = 0; at < keyName.size();) {
            std::size_t sep = keyName.find('\\', at);
            if (sep == std::string_view::npos) sep = keyName.size();
            if (sep > at) ++depth;
            at = sep + 1;
        }
        // The root's name is the first part.
        if (depth > kMaxKeyDepth + 1)
            fail(lineNo, text::trf("Der Schlüssel liegt %1 Ebenen tief; die Registrierung "
                                   "erlaubt 512.",
                                   std::to_string(depth - 1)));
        RegFileOperation op;
        op.line = lineNo;
        if (!keyName.empty() && keyName.front() == '-') {
            op.kind = RegFileOperation::Kind::DeleteKey;
            op.key = std::string(keyName.substr(1));
            haveKey_ = false; // values under a deleted key have nowhere to go
        } else {
            op.kind = RegFileOperation::Kind::CreateKey;
            op.key = std::string(keyName);
            currentKey_ = op.key;
            haveKey_ = true;
        }
        if (op.key.empty()) fail(lineNo, text::tr("Der Schlüsselname ist leer."));
        content_.operations.push_back(std::move(op));
    }

    // "NAME"=DATA or @=DATA under the current key; DATA "-" deletes the value.
    void valueLine(std::string_view line, unsigned lineNo) {
        RegFileOperation op;
        op.line = lineNo;
        op.key = currentKey_;
        std::size_t p = 0;
        if (line.front() == '@') {
            p = 1;
        } else {
            try {
                p = parseQuoted(line, 1, op.value.name);
            } catch (const std::invalid_argument& e) {
                fail(lineNo, e.what());
            }
        }
        std::string_view rest = trimLeft(line.substr(p));
        if (rest.empty() || rest.front() != '=')
            fail(lineNo, text::tr("Nach dem Wertnamen fehlt das '='."));
        rest = trimLeft(rest.substr(1));

        if (rest == "-" ||
            (rest.size() > 1 && rest.front() == '-' && trimLeft(rest.substr(1)).front() == ';')) {
            op.kind = RegFileOperation::Kind::DeleteValue;
            content_.operations.push_back(std::move(op));
            return;
        }
        op.kind = RegFileOperation::Kind::SetValue;
        if (rest.front() == '"')
            stringValue(rest, lineNo, op.value);
        else if (rest.substr(0, 6) == "dword:")
            dwordValue(rest.substr(6), lineNo, op.value);
        else if (rest.substr(0, 3) == "hex")
            hexValue(rest.substr(3), lineNo, op.value);
        else
            fail(lineNo, text::tr("Unbekannter Werttyp."));
        content_.operations.push_back(std::move(op));
    }

    // Only a comment may follow a value's data on its line.
    void checkTail(std::string_view tail, unsigned lineNo) const {
        tail = trimLeft(tail);
        if (!tail.empty() && tail.front() != ';')
            fail(lineNo, text::tr("Unerwarteter Text nach dem Wert."));
    }

    void stringValue(std::string_view rest, unsigned lineNo, RegistryValue& value) const {
        std::string s;
        std::size_t end = 0;
        try {
            end = parseQuoted(rest, 1, s);
        } catch (const std::invalid_argument& e) {
            fail(lineNo, e.what());
        }
        checkTail(rest.substr(end), lineNo);
        value.type = REG_SZ;
        value.data = makeStringData(s);
    }

    void dwordValue(std::string_view digits, unsigned lineNo, RegistryValue& value) const {
        std::size_t n = 0;
        unsigned v = 0;
        while (n < digits.size() && text::isHexDigit(digits[n]))
            v = v * 16 + text::hexDigitValue(digits[n++]);
        if (n == 0 || n > 8)
            fail(lineNo, text::tr("dword: 1 bis 8 Hexadezimalziffern erforderlich."));
        checkTail(digits.substr(n), lineNo);
        value.type = REG_DWORD;
        value.data = makeDwordData(v);
    }

    // hex:BYTES is binary; hex(T):BYTES names the type in hex.
    void hexValue(std::string_view after, unsigned lineNo, RegistryValue& value) {
        DWORD type = REG_BINARY;
        if (!after.empty() && after.front() == '(') {
            std::size_t close = after.find(')');
            if (close == std::string_view::npos || close == 1)
                fail(lineNo, text::tr("Ungültiges hex(Typ)."));
            unsigned t = 0;
            for (std::size_t k = 1; k < close; ++k) {
                if (!text::isHexDigit(after[k]) || k > 8)
                    fail(lineNo, text::tr("Ungültiges hex(Typ)."));
                t = t * 16 + text::hexDigitValue(after[k]);
            }
            type = t;
            after = after.substr(close + 1);
        }
        if (after.empty() || after.front() != ':')
            fail(lineNo, text::tr("Nach hex fehlt der ':'."));
        std::vector<std::uint8_t> data = hexBytes(after.substr(1), lineNo);
        if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
            normalizeStringBytes(type, data);
        value.type = type;
        value.data = std::move(data);
    }

    // Hex bytes, continued over lines that end in a backslash; blank and comment lines
    // inside a continuation are skipped. Moves the current line past the continuation.
    std::vector<std::uint8_t> hexBytes(std::string_view after, unsigned lineNo) {
        std::vector<std::uint8_t> data;
        while (true) {
            after = trimLeft(after);
            if (after.empty() || after.front() == ';') break;
            if (after.front() == '\\' && trimLeft(after.substr(1)).empty()) {
                do {
                    if (++i_ >= lines_.size())
                        fail(lineNo, text::tr("Fortsetzungszeile am Ende der Datei."));
                    after = trimLeft(lines_[i_]);
                } while (after.empty() || after.front() == ';');
                continue;
            }
            if (after.size() >= 2 && text::isHexDigit(after[0]) && text::isHexDigit(after[1])) {
                data.push_back(static_cast<std::uint8_t>(text::hexDigitValue(after[0]) * 16 +
                                                         text::hexDigitValue(after[1])));
                after = trimLeft(after.substr(2));
                if (!after.empty() && after.front() == ',') after = after.substr(1);
                continue;
            }
            if (after.size() == 1 && text::isHexDigit(after[0])) {
                data.push_back(static_cast<std::uint8_t>(text::hexDigitValue(after[0])));
                after = after.substr(1);
                continue;
            }
            fail(static_cast<unsigned>(i_ + 1), text::tr("Ungültige Hexadezimaldaten."));
        }
        return data;
    }

    // String types given as hex: UTF-16 as the registry stores them, with their terminator.
    void normalizeStringBytes(DWORD type, std::vector<std::uint8_t>& data) const {
        if (ansiStrings_) {
            // REGEDIT4 string bytes are in the ANSI code page.
            std::string ansi(data.begin(), data.end());
            while (!ansi.empty() && ansi.back() == '\0')
                ansi.pop_back();
            std::u16string units = text::cp1252ToUtf16(ansi);
            std::size_t nuls = data.size() - ansi.size();
            data = text::utf16ToBytes(units);
            data.insert(data.end(), 2 * nuls, 0);
        }
        if (data.size() % 2 == 0) {
            // Supply a missing terminator.
            std::size_t need = type == REG_MULTI_SZ ? 2 : 1;
            std::size_t have = 0;
            for (std::size_t k = data.size();
                 k >= 2 && have < need && data[k - 1] == 0 && data[k - 2] == 0; k -= 2)
                ++have;
            if (type == REG_MULTI_SZ && data.empty()) need = 1;
            for (; have < need; ++have)
                data.insert(data.end(), {0, 0});
        }
    }

    const std::string& name_;
    std::string text_;
    std::vector<std::string_view> lines_; // views into text_
    std::size_t i_ = 0;                   // the line being read
    RegFileContent content_;
    std::string currentKey_;
    bool haveKey_ = false;
    bool ansiStrings_ = false;
};

} // namespace

RegFileContent parseRegFile(const std::string& bytes, const std::string& name) {
    bool wide = false;
    std::string text = decode(bytes, name, wide);
    return RegFileParser(std::move(text), name).run();
}

RegFileWriter::RegFileWriter(RegFileContent::Version version) : version_(version) {
    body_ = std::string(version == RegFileContent::Version::V5 ? kV5Header : kV4Header) + "\r\n";
}

namespace {
// A line break inside a name is written as its escape: raw, it would end the line.
void appendQuoted(std::string& out, const std::string& s) {
    out.push_back('"');
    for (char c : s) {
        if (c == '\r' || c == '\n') {
            out += c == '\r' ? "\\r" : "\\n";
            continue;
        }
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}
} // namespace

std::string RegFileWriter::formatValue(const RegistryValue& value,
                                       RegFileContent::Version version) {
    std::string out;
    if (value.name.empty())
        out = "@=";
    else {
        appendQuoted(out, value.name);
        out.push_back('=');
    }
    const auto& d = value.data;
    if (value.type == REG_SZ && d.size() >= 2 && d.size() % 2 == 0 && d[d.size() - 1] == 0 &&
        d[d.size() - 2] == 0) {
        std::u16string units = text::bytesToUtf16(d.data(), d.size() - 2);
        // A string that a quoted form cannot carry (line breaks, NULs inside) is kept in hex.
        if (units.find_first_of(u"\r\n", 0, 3) == std::u16string::npos) {
            appendQuoted(out, text::utf16ToUtf8(units));
            return out + "\r\n";
        }
    }
    if (value.type == REG_DWORD && d.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x",
                      static_cast<unsigned>(d[0] | d[1] << 8 | d[2] << 16 |
                                            static_cast<unsigned>(d[3]) << 24));
        return out + buf + "\r\n";
    }
    std::vector<std::uint8_t> bytes = d;
    const bool stringType =
        value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    if (stringType && version == RegFileContent::Version::Regedit4) {
        std::string ansi = text::utf16ToCp1252(text::bytesToUtf16(d.data(), d.size()));
        bytes.assign(ansi.begin(), ansi.end());
    }
    char prefix[24];
    if (value.type == REG_BINARY)
        std::snprintf(prefix, sizeof prefix, "hex:");
    else
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    out += prefix;
    std::size_t column = out.size();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        out += buf;
        if (i + 1 == bytes.size()) break;
        out.push_back(',');
        column += 3;
        if (column >= 77) {
            out += "\\\r\n  ";
            column = 2;
        }
    }
    return out + "\r\n";
}

void RegFileWriter::addKey(const std::string& fullName, const std::vector<RegistryValue>& values) {
    body_ += "\r\n[" + fullName + "]\r\n";
    for (const auto& v : values)
        body_ += formatValue(v, version_);
}

void RegFileWriter::addKeyDeletion(const std::string& fullName) {
    body_ += "\r\n[-" + fullName + "]\r\n";
}

void RegFileWriter::addValueDeletion(const std::string& valueName) {
    if (valueName.empty())
        body_ += "@=-\r\n";
    else {
        appendQuoted(body_, valueName);
        body_ += "=-\r\n";
    }
}

void RegFileWriter::addComment(const std::string& line) {
    body_ += "; " + line + "\r\n";
}

void RegFileWriter::addTree(const std::string& fullName, Key& key) {
    addKey(fullName, key.values());
    for (const auto& sub : key.subkeys())
        addTree(fullName + "\\" + sub->name(), *sub);
}

std::string RegFileWriter::text() const {
    return body_ + "\r\n";
}

std::string RegFileWriter::bytes() const {
    std::string t = text();
    if (version_ == RegFileContent::Version::Regedit4)
        return text::utf16ToCp1252(text::utf8ToUtf16(t));
    std::u16string units = text::utf8ToUtf16(t);
    std::string out = "\xFF\xFE";
    out.reserve(2 + units.size() * 2);
    for (char16_t c : units) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

} // namespace ravelin::registry
