#include "host/registry/WineRegistryFile.h"

#include "host/registry/FileUtil.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace ravelin::registry {

namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::uint64_t kTicks1601To1970 = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;

// The line [begin, end) without its '\n' and an optional '\r'.
struct Line {
    std::size_t begin;
    std::size_t end;  // content end
    std::size_t next; // start of the following line
};

Line lineAt(std::string_view text, std::size_t pos) {
    const char* base = text.data();
    const void* nl = std::memchr(base + pos, '\n', text.size() - pos);
    std::size_t end =
        nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - base) : text.size();
    std::size_t next = nl ? end + 1 : end;
    std::size_t contentEnd = end;
    if (contentEnd > pos && text[contentEnd - 1] == '\r') --contentEnd;
    return {pos, contentEnd, next};
}

// Parses an escaped string up to `endChar` as wineserver's parser does: \a \b \e \f \n
// \r \t \v, \x with 1-4 hex digits, octal with 1-3 digits, any other escaped character
// stands for itself; raw UTF-8 is accepted. Returns the position after endChar.
std::size_t parseEscaped(std::string_view s, std::size_t pos, char endChar, std::u16string& out) {
    while (pos < s.size()) {
        char c = s[pos];
        if (c == endChar) return pos + 1;
        if (c == '\n') break;
        if (c == '\\') {
            if (++pos >= s.size() || s[pos] == '\n') break;
            char e = s[pos];
            switch (e) {
            case 'a':
                out.push_back(7), ++pos;
                continue;
            case 'b':
                out.push_back(8), ++pos;
                continue;
            case 'e':
                out.push_back(27), ++pos;
                continue;
            case 'f':
                out.push_back(12), ++pos;
                continue;
            case 'n':
                out.push_back(10), ++pos;
                continue;
            case 'r':
                out.push_back(13), ++pos;
                continue;
            case 't':
                out.push_back(9), ++pos;
                continue;
            case 'v':
                out.push_back(11), ++pos;
                continue;
            case 'x': {
                ++pos;
                if (pos >= s.size() || !text::isHexDigit(s[pos])) {
                    out.push_back(u'x');
                    continue;
                }
                unsigned v = 0;
                for (int k = 0; k < 4 && pos < s.size() && text::isHexDigit(s[pos]); ++k)
                    v = v * 16 + text::hexDigitValue(s[pos++]);
                out.push_back(static_cast<char16_t>(v));
                continue;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned v = 0;
                    for (int k = 0; k < 3 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7'; ++k)
                        v = v * 8 + static_cast<unsigned>(s[pos++] - '0');
                    out.push_back(static_cast<char16_t>(v));
                    continue;
                }
                break; // the escaped character stands for itself
            }
            c = e;
        }
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(b);
            ++pos;
            continue;
        }
        // A raw UTF-8 sequence: take the bytes that belong to it.
        std::size_t len = (b & 0xE0) == 0xC0   ? 2
                          : (b & 0xF0) == 0xE0 ? 3
                          : (b & 0xF8) == 0xF0 ? 4
                                               : 1;
        if (pos + len > s.size()) len = 1;
        out += text::utf8ToUtf16(s.substr(pos, len));
        pos += len;
    }
    throw std::invalid_argument(text::trf("Das schließende %1 fehlt.", std::string(1, endChar)));
}

void appendHex(std::string& out, unsigned v, bool pad8) {
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, pad8 ? "%08x" : "%x", v);
    out.append(buf, static_cast<std::size_t>(n));
}

std::size_t skipBlanks(std::string_view s, std::size_t pos) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
        ++pos;
    return pos;
}

bool startsWith(std::string_view s, std::size_t pos, std::string_view prefix) {
    return s.size() - pos >= prefix.size() && s.compare(pos, prefix.size(), prefix) == 0;
}

} // namespace

namespace wine {

void appendEscaped(std::string& out, std::u16string_view units, std::string_view quote,
                   bool impliedTerminator) {
    static constexpr char kEscapes[32] = {0,   0,   0,   0, 0, 0,   0, 'a', 'b', 't', 'n',
                                          'v', 'f', 'r', 0, 0, 0,   0, 0,   0,   0,   0,
                                          0,   0,   0,   0, 0, 'e', 0, 0,   0,   0};
    for (std::size_t i = 0; i < units.size(); ++i) {
        char16_t c = units[i];
        bool more = i + 1 < units.size();
        if (c > 127) {
            char buf[12];
            bool hexFollows =
                more && units[i + 1] < 128 && text::isHexDigit(static_cast<char>(units[i + 1]));
            int n = std::snprintf(buf, sizeof buf, hexFollows ? "\\x%04x" : "\\x%x",
                                  static_cast<unsigned>(c));
            out.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (c < 32) {
            if (c == 0 && !more && impliedTerminator) continue;
            if (kEscapes[c]) {
                out.push_back('\\');
                out.push_back(kEscapes[c]);
            } else {
                char buf[8];
                bool octalFollows = more && units[i + 1] >= '0' && units[i + 1] <= '7';
                int n = std::snprintf(buf, sizeof buf, octalFollows ? "\\%03o" : "\\%o",
                                      static_cast<unsigned>(c));
                out.append(buf, static_cast<std::size_t>(n));
            }
            continue;
        }
        if (c == '\\' || quote.find(static_cast<char>(c)) != std::string_view::npos)
            out.push_back('\\');
        out.push_back(static_cast<char>(c));
    }
}

std::string formatValue(const RegistryValue& value) {
    std::string out;
    std::size_t count = 0;
    if (!value.name.empty()) {
        out.push_back('"');
        appendEscaped(out, text::utf8ToUtf16(value.name), "\"");
        out += "\"=";
    } else {
        out += "@=";
    }
    count = out.size();
    const auto& d = value.data;
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ:
        // Only properly terminated strings are written as strings.
        if (d.size() >= 2 && d.size() % 2 == 0 && d[d.size() - 1] == 0 && d[d.size() - 2] == 0) {
            if (value.type != REG_SZ) {
                out += "str(";
                appendHex(out, value.type, false);
                out += "):";
            }
            out.push_back('"');
            appendEscaped(out, text::bytesToUtf16(d.data(), d.size()), "\"", true);
            out += "\"\n";
            return out;
        }
        break;
    case REG_DWORD:
        if (d.size() == 4) {
            out += "dword:";
            appendHex(out,
                      static_cast<unsigned>(d[0] | d[1] << 8 | d[2] << 16 |
                                            static_cast<unsigned>(d[3]) << 24),
                      true);
            out.push_back('\n');
            return out;
        }
        break;
    default:
        break;
    }
    std::size_t before = out.size();
    if (value.type == REG_BINARY) {
        out += "hex:";
    } else {
        out += "hex(";
        appendHex(out, value.type, false);
        out += "):";
    }
    count += out.size() - before;
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < d.size(); ++i) {
        out.push_back(kDigits[d[i] >> 4]);
        out.push_back(kDigits[d[i] & 15]);
        count += 2;
        if (i + 1 < d.size()) {
            out.push_back(',');
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    out.push_back('\n');
    return out;
}

void parseValue(std::string_view text, std::size_t& pos, unsigned& line, RegistryValue& value) {
    Line ln = lineAt(text, pos);
    std::string_view s = text.substr(0, ln.end);
    std::size_t p = ln.begin;
    value.name.clear();
    value.data.clear();
    if (s[p] == '@') {
        ++p;
    } else if (s[p] == '"') {
        std::u16string name;
        p = parseEscaped(s, p + 1, '"', name);
        value.name = text::utf16ToUtf8(name);
    } else {
        throw std::invalid_argument(text::tr("Ein Wert muss mit '\"' oder '@' beginnen."));
    }
    p = skipBlanks(s, p);
    if (p >= s.size() || s[p] != '=')
        throw std::invalid_argument(text::tr("Nach dem Wertnamen fehlt das '='."));
    p = skipBlanks(s, p + 1);

    auto finishString = [&](DWORD type, std::size_t from) {
        std::u16string units;
        from = parseEscaped(s, from, '"', units);
        units.push_back(0);
        value.type = type;
        value.data = text::utf16ToBytes(units);
        return from;
    };

    if (startsWith(s, p, "\"")) {
        p = finishString(REG_SZ, p + 1);
    } else if (startsWith(s, p, "str:\"")) {
        p = finishString(REG_SZ, p + 5);
    } else if (startsWith(s, p, "str(2):\"")) {
        p = finishString(REG_EXPAND_SZ, p + 8);
    } else if (startsWith(s, p, "str(7):\"")) {
        p = finishString(REG_MULTI_SZ, p + 8);
    } else if (startsWith(s, p, "dword:")) {
        p += 6;
        unsigned v = 0;
        int digits = 0;
        while (p < s.size() && text::isHexDigit(s[p]) && digits < 8)
            v = v * 16 + text::hexDigitValue(s[p++]), ++digits;
        if (digits == 0)
            throw std::invalid_argument(text::tr("dword: Hexadezimalziffern erforderlich."));
        value.type = REG_DWORD;
        value.data = makeDwordData(v);
    } else if (startsWith(s, p, "hex:") || startsWith(s, p, "hex(")) {
        if (s[p + 3] == ':') {
            value.type = REG_BINARY;
            p += 4;
        } else {
            p += 4;
            unsigned t = 0;
            int digits = 0;
            while (p < s.size() && text::isHexDigit(s[p]) && digits < 8)
                t = t * 16 + text::hexDigitValue(s[p++]), ++digits;
            if (digits == 0 || !startsWith(s, p, "):"))
                throw std::invalid_argument(text::tr("Ungültiges hex(Typ):-Präfix."));
            value.type = t;
            p += 2;
        }
        // Hex bytes, continued over lines that end in a backslash.
        while (true) {
            p = skipBlanks(s, p);
            if (p < s.size() && s[p] == '\\' && skipBlanks(s, p + 1) == s.size()) {
                if (ln.next >= text.size())
                    throw std::invalid_argument(text::tr("Fortsetzungszeile am Ende der Datei."));
                ln = lineAt(text, ln.next);
                ++line;
                s = text.substr(0, ln.end);
                p = ln.begin;
                continue;
            }
            if (p >= s.size()) break;
            if (p + 1 < s.size() && text::isHexDigit(s[p]) && text::isHexDigit(s[p + 1])) {
                value.data.push_back(static_cast<std::uint8_t>(text::hexDigitValue(s[p]) * 16 +
                                                               text::hexDigitValue(s[p + 1])));
                p = skipBlanks(s, p + 2);
                if (p < s.size() && s[p] == ',') {
                    ++p;
                    continue;
                }
                if (p < s.size() && s[p] == '\\') continue;
                break;
            }
            throw std::invalid_argument(text::tr("Ungültige Hexadezimaldaten."));
        }
    } else {
        throw std::invalid_argument(text::tr("Unbekannter Werttyp."));
    }
    p = skipBlanks(s, p);
    if (p != s.size()) throw std::invalid_argument(text::tr("Unerwarteter Text nach dem Wert."));
    pos = ln.next;
}

} // namespace wine

WineHive::WineHive(std::string file, std::string text)
    : Hive(std::move(file), Key::ValueOrder::Sorted), text_(std::move(text)) {}

std::unique_ptr<WineHive> WineHive::load(const std::string& path) {
    // The state before the read: a file replaced in between looks changed, never the
    // other way round.
    FileState seen = stateOf(path);
    auto hive = parse(readWholeFile(path), path);
    hive->rememberFileState(seen);
    return hive;
}

std::unique_ptr<WineHive> WineHive::parse(std::string text, const std::string& name) {
    std::unique_ptr<WineHive> hive(new WineHive(name, std::move(text)));
    hive->parseText();
    return hive;
}

std::unique_ptr<WineHive> WineHive::create(const std::string& path, const std::string& relativeTo,
                                           const std::string& arch) {
    std::string text = std::string(kHeader) + "\n;; All keys relative to " + relativeTo + "\n";
    if (!arch.empty()) text += "\n#arch=" + arch + "\n";
    auto hive = parse(std::move(text), path);
    hive->root().markDirty(fileTimeNow()); // so that save() writes the new file
    return hive;
}

void WineHive::parseValueLines(std::size_t begin, std::size_t end, unsigned line,
                               std::vector<RegistryValue>& values) const {
    std::string_view text = text_;
    std::size_t pos = begin;
    RegistryValue v;
    while (pos < end) {
        Line ln = lineAt(text, pos);
        ++line;
        char c = ln.begin < ln.end ? text[ln.begin] : '\0';
        if (c != '"' && c != '@') {
            pos = ln.next;
            continue;
        }
        unsigned l = line;
        try {
            wine::parseValue(text, pos, l, v);
        } catch (const std::invalid_argument& e) {
            throw RegistryFormatError(file_, line, e.what());
        }
        line = l;
        // Wine keeps the last of two values with the same name.
        auto it = std::lower_bound(values.begin(), values.end(), v.name,
                                   [](const RegistryValue& a, const std::string& n) {
                                       return text::compareNames(a.name, n) < 0;
                                   });
        if (it != values.end() && text::namesEqual(it->name, v.name))
            *it = std::move(v);
        else
            values.insert(it, std::move(v));
        v = RegistryValue{};
    }
}

void WineHive::loadValues(Key& key) {
    const KeyOrigin& o = key.origin();
    std::vector<RegistryValue> values;
    parseValueLines(o.valuesBegin, o.chunkEnd, o.line, values);
    key.loadValuesStorage() = std::move(values);
}

// One pass over the file's text that builds the key tree: the state that key lines, '#'
// lines and value lines share. Values are parsed later, when a key is first read.
class WineHive::TextScan {
  public:
    explicit TextScan(WineHive& hive) : hive_(hive), text_(hive.text_), file_(hive.file_) {}

    void run() {
        std::size_t pos = readHeader();
        while (pos < text_.size()) {
            const Line ln = lineAt(text_, pos);
            ++line_;
            pos = ln.next;
            if (inContinuation_) {
                inContinuation_ = ln.end > ln.begin && text_[ln.end - 1] == '\\';
                continue;
            }
            const char c = ln.begin < ln.end ? text_[ln.begin] : '\0';
            if (c == '"' || c == '@')
                valueLine(ln);
            else if (c == '[')
                keyLine(ln);
            else if (c == '#')
                hashLine(ln);
            else if (c == ';' || c == ' ' || c == '\t' || c == '\0')
                commentLine(ln);
            else
                fail(text::tr("Die Eingabe wird nicht erkannt."));
        }
        if (!current_) hive_.preambleEnd_ = text_.size();
        closeBlock(text_.size());
    }

  private:
    [[noreturn]] void fail(const std::string& why) const {
        throw RegistryFormatError(file_, line_, why);
    }

    // Returns where the line after the header starts.
    std::size_t readHeader() {
        Line first = lineAt(text_, 0);
        if (text_.substr(0, first.end) != kHeader)
            fail(text::tr("Das ist keine Wine-Registrierungsdatei (die erste Zeile muss \"WINE "
                          "REGISTRY Version 2\" lauten)."));
        // A file with CR LF line ends keeps them when it is saved.
        hive_.crlf_ = first.end < text_.size() && text_[first.end] == '\r';
        return first.next;
    }

    // Ends the current key's block at `end`: it remembers where its text lies, or, for a
    // key seen before, takes the values of this later block.
    void closeBlock(std::size_t end) {
        if (!current_) return;
        if (!duplicate_) {
            current_->origin().chunkEnd = end;
            return;
        }
        std::vector<RegistryValue> later;
        hive_.parseValueLines(duplicateBegin_, end, duplicateLine_, later);
        for (auto& v : later)
            current_->setValue(v.name, v.type, std::move(v.data));
        current_->origin().hasChunk = false;
        current_->markDirty(current_->lastWrite()); // written anew, as Wine would
    }

    // "[PATH] SECONDS" opens a key's block.
    void keyLine(const Line& ln) {
        // The blank line before a key belongs to the key's block.
        std::size_t lead = ln.begin;
        if (lead >= 2 && text_[lead - 1] == '\n' && text_[lead - 2] == '\n') lead -= 1;
        closeBlock(lead);
        if (!current_) hive_.preambleEnd_ = lead;

        std::u16string path;
        std::size_t p;
        try {
            p = parseEscaped(text_.substr(0, ln.end), ln.begin + 1, ']', path);
        } catch (const std::invalid_argument& e) {
            fail(text::trf("Ungültige Schlüsselzeile: %1", e.what()));
        }
        p = skipBlanks(text_, p);
        std::uint64_t seconds = 0;
        bool haveSeconds = false;
        while (p < ln.end && text_[p] >= '0' && text_[p] <= '9') {
            seconds = seconds * 10 + static_cast<unsigned>(text_[p++] - '0');
            haveSeconds = true;
        }
        if (skipBlanks(text_.substr(0, ln.end), p) != ln.end)
            fail(text::tr("Unerwarteter Text nach dem Schlüsselnamen."));

        Key* key = &keyAt(path);
        const std::uint64_t time =
            haveSeconds ? seconds * kTicksPerSecond + kTicks1601To1970 : now_;
        // Keys only implied by this one take its time.
        for (Key* up = key->parent(); up && up->parent() && up->lastWrite() == 0; up = up->parent())
            up->setLastWrite(time);
        duplicate_ = key->origin().hasChunk || key->dirty();
        if (duplicate_) {
            key->ensureValues(); // the first block, before its place is forgotten
            duplicateBegin_ = ln.next;
            duplicateLine_ = line_;
        } else {
            key->setLastWrite(time);
            KeyOrigin& o = key->origin();
            o.chunkBegin = lead;
            o.valuesBegin = ln.next;
            o.line = line_;
            o.hasChunk = true;
            key->setSource(&hive_, true, false);
        }
        current_ = key;
    }

    // The key at a path of the file, made with the keys on the way.
    Key& keyAt(const std::u16string& path) {
        Key* key = hive_.root_.get();
        std::string utf8 = text::utf16ToUtf8(path);
        std::size_t start = 0;
        std::size_t depth = 0;
        while (start < utf8.size()) {
            std::size_t sep = utf8.find('\\', start);
            if (sep == std::string::npos) sep = utf8.size();
            if (sep == start) fail(text::tr("Ein Schlüsselname im Pfad ist leer."));
            if (++depth > kMaxKeyDepth)
                fail(text::tr("Der Schlüssel liegt mehr als 512 Ebenen tief, tiefer als die "
                              "Registrierung erlaubt."));
            key = &key->loadSubkey(utf8.substr(start, sep - start));
            start = sep + 1;
        }
        return *key;
    }

    // "#arch=" before the first key, "#time=", "#class=" and "#link" inside one.
    void hashLine(const Line& ln) {
        std::string_view body = text_.substr(ln.begin, ln.end - ln.begin);
        if (!current_) {
            if (body.substr(0, 6) == "#arch=") hive_.arch_ = std::string(body.substr(6));
        } else if (body.substr(0, 6) == "#time=") {
            std::uint64_t t = 0;
            std::size_t k = 6;
            while (k < body.size() && text::isHexDigit(body[k]))
                t = t * 16 + text::hexDigitValue(body[k++]);
            if (k == 6 || k != body.size()) fail(text::tr("Ungültige #time-Zeile."));
            if (!duplicate_) current_->setLastWrite(t);
        } else if (body.substr(0, 7) == "#class=") {
            std::u16string cls;
            try {
                if (body.size() < 8 || body[7] != '"')
                    throw std::invalid_argument(text::tr("Das '\"' fehlt."));
                parseEscaped(body, 8, '"', cls);
            } catch (const std::invalid_argument& e) {
                fail(text::trf("Ungültige #class-Zeile: %1", e.what()));
            }
            current_->setClassName(text::utf16ToUtf8(cls));
        } else if (body == "#link") {
            current_->setLink(true);
        }
    }

    // Values are only skipped here (a key parses its values when first read), except the
    // file's last one, which is checked for being cut short.
    void valueLine(const Line& ln) {
        if (!current_) fail(text::tr("Ein Wert steht vor dem ersten Schlüssel."));
        inContinuation_ = text_[ln.end - 1] == '\\';
        if (ln.next == text_.size() && (ln.next == ln.end || inContinuation_)) {
            // The file ends inside this value (wineserver ends every line): a file cut
            // short, which saving would make permanent.
            RegistryValue value;
            std::size_t at = ln.begin;
            unsigned where = line_;
            try {
                if (inContinuation_)
                    throw std::invalid_argument(text::tr("Die Zeile wird fortgesetzt."));
                wine::parseValue(text_, at, where, value);
            } catch (const std::invalid_argument& e) {
                fail(text::trf("Die Datei endet mitten in einem Wert (%1): Sie wurde "
                               "abgeschnitten.",
                               e.what()));
            }
        }
    }

    // Blank and ';' lines; the second line of the file names what its keys are relative to.
    void commentLine(const Line& ln) {
        constexpr std::string_view kRelative = ";; All keys relative to ";
        std::string_view body = text_.substr(ln.begin, ln.end - ln.begin);
        if (current_ || body.substr(0, kRelative.size()) != kRelative) return;
        std::u16string rel;
        std::string quoted = std::string(body.substr(kRelative.size())) + "\x01";
        try {
            parseEscaped(quoted, 0, '\x01', rel);
            hive_.relativeTo_ = text::utf16ToUtf8(rel);
        } catch (const std::invalid_argument&) {
        }
    }

    WineHive& hive_;
    std::string_view text_;
    const std::string& file_;
    unsigned line_ = 1;
    Key* current_ = nullptr; // the key whose block is being read
    bool inContinuation_ = false;
    // A key seen a second time: the later block's values are merged into it.
    bool duplicate_ = false;
    std::size_t duplicateBegin_ = 0;
    unsigned duplicateLine_ = 0;
    const std::uint64_t now_ = fileTimeNow();
};

void WineHive::parseText() {
    TextScan(*this).run();
}

void WineHive::serializeKey(Key& key, std::string& out, std::size_t& newlines,
                            std::vector<std::pair<Key*, KeyOrigin>>& moved) {
    const KeyOrigin& o = key.origin();
    auto countNewlines = [&](std::size_t from, std::size_t to) {
        return static_cast<std::size_t>(std::count(out.begin() + static_cast<std::ptrdiff_t>(from),
                                                   out.begin() + static_cast<std::ptrdiff_t>(to),
                                                   '\n'));
    };
    if (!key.dirty() && o.hasChunk) {
        // Unchanged: the very text it came from.
        std::size_t keyLine = o.chunkBegin;
        while (keyLine < o.chunkEnd && text_[keyLine] != '[')
            ++keyLine;
        std::size_t before = out.size();
        out.append(text_, o.chunkBegin, o.chunkEnd - o.chunkBegin);
        KeyOrigin n = o;
        n.chunkBegin = before;
        n.chunkEnd = out.size();
        n.valuesBegin = o.valuesBegin - o.chunkBegin + before;
        n.line = static_cast<std::uint32_t>(
            newlines + countNewlines(before, before + (keyLine - o.chunkBegin)) + 1);
        newlines += countNewlines(before, out.size());
        moved.emplace_back(&key, n);
    } else {
        const bool isRoot = key.parent() == nullptr;
        const auto& values = key.values();
        bool written = !values.empty() || key.className() || key.isLink() ||
                       (!isRoot && key.subkeys().empty());
        KeyOrigin n;
        if (written) {
            std::size_t before = out.size();
            out += "\n[";
            std::vector<const Key*> chain;
            for (const Key* k = &key; k->parent(); k = k->parent())
                chain.push_back(k);
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
                if (it != chain.rbegin()) out += "\\\\";
                wine::appendEscaped(out, text::utf8ToUtf16((*it)->name()), "[]");
            }
            std::uint64_t t = key.lastWrite();
            std::uint64_t secs =
                t > kTicks1601To1970 ? (t - kTicks1601To1970) / kTicksPerSecond : 0;
            out += "] " + std::to_string(static_cast<unsigned>(secs)) + "\n#time=";
            appendHex(out, static_cast<unsigned>(t >> 32), false);
            appendHex(out, static_cast<unsigned>(t & 0xFFFFFFFFu), true);
            out.push_back('\n');
            if (key.className()) {
                out += "#class=\"";
                wine::appendEscaped(out, text::utf8ToUtf16(*key.className()), "\"");
                out += "\"\n";
            }
            if (key.isLink()) out += "#link\n";
            n.valuesBegin = out.size();
            for (const auto& v : values)
                out += wine::formatValue(v);
            n.chunkBegin = before;
            n.chunkEnd = out.size();
            n.line = static_cast<std::uint32_t>(newlines + 2);
            n.hasChunk = true;
            newlines += countNewlines(before, out.size());
        }
        moved.emplace_back(&key, n);
    }
    if (key.subkeysPending()) return;
    for (const auto& sub : key.subkeys())
        serializeKey(*sub, out, newlines, moved);
}

std::string WineHive::render(std::vector<std::pair<Key*, KeyOrigin>>& moved) {
    std::string out;
    out.reserve(text_.size() + 4096);
    out.append(text_, 0, preambleEnd_);
    std::size_t newlines = static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n'));
    serializeKey(*root_, out, newlines, moved);
    return out;
}

std::string WineHive::serialize() {
    // Unchanged is identical, whatever order the file had its keys in.
    if (!modified()) return text_;
    std::vector<std::pair<Key*, KeyOrigin>> moved;
    return render(moved);
}

void WineHive::save() {
    if (!modified()) return;
    std::vector<std::pair<Key*, KeyOrigin>> moved;
    std::string out = render(moved);
    std::string bytes;
    if (crlf_) {
        bytes.reserve(out.size() + out.size() / 16);
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) bytes.push_back('\r');
            bytes.push_back(out[i]);
        }
    }
    // Throws, and then nothing here has changed.
    writeFileAtomically(saveTarget(file_), crlf_ ? bytes : out);
    rememberFileState();
    // The saved text is now the source of every key that was not parsed yet.
    text_ = std::move(out);
    for (auto& [key, origin] : moved)
        key->origin() = origin;
    root_->clearDirty();
}

} // namespace ravelin::registry
