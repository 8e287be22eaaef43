#include "app/deskforge/RegCommand.h"

#include "host/Nxregistry.h"
#include "host/registry/FileUtil.h"
#include "host/registry/RegFile.h"
#include "host/registry/Registry.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <charconv>
#include <istream>
#include <map>
#include <ostream>
#include <sstream>
#include <sys/stat.h>

namespace ravelin::app {

namespace {

using registry::Registry;

// reg.exe's own words, as a German Windows prints them.
std::string notFound() {
    return text::tr(
        "FEHLER: Das System kann den angegebenen Registrierungsschlüssel bzw. Wert nicht finden.");
}
std::string success() {
    return text::tr("Der Vorgang wurde erfolgreich beendet.");
}
std::string cancelled() {
    return text::tr("Der Vorgang wurde vom Benutzer abgebrochen.");
}
std::string accessDenied() {
    return text::tr("FEHLER: Zugriff verweigert.");
}
std::string defaultName() {
    return text::tr("(Standard)");
}

struct UsageError {
    std::string message;
};

// Several writes of one command are one journal transaction.
class BackupGroup {
  public:
    explicit BackupGroup(const std::string& label) { BackupStart(0, label); }
    // Left without commit() (an error part way), what the group wrote is undone.
    ~BackupGroup() {
        if (!committed_) BackupEnd(true);
    }
    // The end of the transaction: what it wrote is durable once this returns.
    void commit() {
        committed_ = true;
        BackupEnd(false);
        if (const std::string& e = TakeWriteFailure(); !e.empty()) throw RegistryAccessError(e);
    }
    BackupGroup(const BackupGroup&) = delete;
    BackupGroup& operator=(const BackupGroup&) = delete;

  private:
    bool committed_ = false;
};

std::string upper(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool isSwitch(const std::string& a, const char* name) {
    return (a.size() > 1 && (a[0] == '/' || a[0] == '-')) && text::namesEqual(a.substr(1), name);
}

std::string hexUpper(const std::vector<std::uint8_t>& data) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (auto b : data) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

std::string dataForQuery(const RegistryValue& v) {
    switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return stringFromData(v.data);
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        if (v.data.size() == 4) {
            DWORD d = v.type == REG_DWORD
                          ? static_cast<DWORD>(v.data[0] | v.data[1] << 8 | v.data[2] << 16 |
                                               static_cast<DWORD>(v.data[3]) << 24)
                          : static_cast<DWORD>(v.data[3] | v.data[2] << 8 | v.data[1] << 16 |
                                               static_cast<DWORD>(v.data[0]) << 24);
            char buf[16];
            std::snprintf(buf, sizeof buf, "0x%x", d);
            return buf;
        }
        break;
    case REG_QWORD:
        if (v.data.size() == 8) {
            std::uint64_t q = 0;
            for (int i = 7; i >= 0; --i)
                q = (q << 8) | v.data[static_cast<std::size_t>(i)];
            char buf[24];
            std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(q));
            return buf;
        }
        break;
    case REG_MULTI_SZ: {
        std::string out;
        bool first = true;
        for (const auto& item : multiStringFromData(v.data)) {
            if (!first) out += "\\0";
            out += item;
            first = false;
        }
        return out;
    }
    default:
        break;
    }
    return hexUpper(v.data);
}

void printValue(std::ostream& out, const RegistryValue& v) {
    out << "    " << (v.name.empty() ? defaultName() : v.name) << "    " << typeName(v.type)
        << "    " << dataForQuery(v) << "\n";
}

// Asks a Yes/No question; anything but an answer starting with y is No (also the end of input).
bool confirm(Console& c, const std::string& question) {
    c.out << question << " " << std::flush;
    std::string answer;
    if (!std::getline(c.in, answer)) {
        c.out << "\n";
        return false;
    }
    // Ja or Yes, whichever language asked.
    return !answer.empty() &&
           (answer[0] == 'y' || answer[0] == 'Y' || answer[0] == 'j' || answer[0] == 'J');
}

struct KeyArg {
    HKEY root = 0;
    std::string path;
    std::string fullName; // long root form, as reg.exe prints it
};

std::string invalidKeyName(const std::string& op) {
    return text::trf("FEHLER: Ungültiger Schlüsselname.\nGeben Sie \"REG %1 /?\" ein, um die "
                     "Syntax anzuzeigen.",
                     op);
}

KeyArg parseKey(const std::string& arg, const std::string& op) {
    KeyArg k;
    if (arg.rfind("\\\\", 0) == 0) throw UsageError{invalidKeyName(op)};
    if (!Registry::splitKeyName(arg, k.root, k.path)) throw UsageError{invalidKeyName(op)};
    k.fullName = Registry::rootName(k.root);
    if (!k.path.empty()) k.fullName += "\\" + k.path;
    return k;
}

UsageError syntax(const std::string& op) {
    return UsageError{text::trf("FEHLER: Ungültige Syntax.\nGeben Sie \"REG %1 /?\" ein, um die "
                                "Syntax anzuzeigen.",
                                op)};
}

RegOptions viewOption(bool reg32, bool reg64) {
    if (reg32) return {1};
    if (reg64) return {0};
    return {2}; // the command line is a native program
}

// The switches after an operation's fixed arguments, as reg.exe takes them: each at most
// once, in any order, any case, "/" or "-"; those in `withValue` take the next argument.
// /reg:32 and /reg:64 are accepted by every operation, but not together.
class Switches {
  public:
    Switches(const std::vector<std::string>& a, std::size_t from, const char* op,
             std::initializer_list<const char*> flags,
             std::initializer_list<const char*> withValue = {}) {
        for (std::size_t i = from; i < a.size(); ++i) {
            const char* name = match(a[i], flags);
            if (!name) name = match(a[i], {"reg:32", "reg:64"});
            std::string value;
            if (!name && (name = match(a[i], withValue))) {
                if (i + 1 >= a.size()) throw syntax(op);
                value = a[++i];
            }
            if (!name || !given_.emplace(name, std::move(value)).second) throw syntax(op);
        }
        if (has("reg:32") && has("reg:64")) throw syntax(op);
    }
    bool has(const std::string& name) const { return given_.count(name) != 0; }
    // The argument of a switch that takes one, or `fallback` when it was not given.
    std::string value(const std::string& name, const std::string& fallback = "") const {
        auto it = given_.find(name);
        return it == given_.end() ? fallback : it->second;
    }
    RegOptions view() const { return viewOption(has("reg:32"), has("reg:64")); }

  private:
    static const char* match(const std::string& arg, std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (isSwitch(arg, n)) return n;
        return nullptr;
    }
    std::map<std::string, std::string> given_;
};

// --- query ---

struct QueryState {
    Registry& reg;
    RegOptions options;
    std::ostream& out;
    unsigned matches = 0;
};

// The walks below go through keys in the order reg.exe prints them, with a list of their
// own instead of recursion: how deep a tree goes is up to the files.
struct WalkItem {
    std::string path;
    std::string fullName;
};

// Pushes the subkeys of `at` so that the first one is taken next. A name that would lead
// back to the key itself (an empty one) is not followed.
void pushSubkeys(std::vector<WalkItem>& stack, const WalkItem& at,
                 const std::vector<std::string>& subkeys) {
    for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it) {
        if (it->empty()) continue;
        stack.push_back({at.path.empty() ? *it : at.path + "\\" + *it, at.fullName + "\\" + *it});
    }
}

void queryAll(QueryState& s, HKEY root, const std::string& path, const std::string& fullName,
              bool recurse) {
    std::vector<WalkItem> stack{{path, fullName}};
    bool recursing = false;
    while (!stack.empty()) {
        WalkItem at = std::move(stack.back());
        stack.pop_back();
        std::vector<RegistryValue> values;
        s.reg.enumValues(root, at.path, values, s.options);
        std::vector<std::string> subkeys;
        s.reg.enumKeys(root, at.path, subkeys, s.options);
        if (!values.empty() || recursing) s.out << at.fullName << "\n";
        for (const auto& v : values)
            printValue(s.out, v);
        if (!values.empty() || recursing) s.out << "\n";
        if (recurse) {
            pushSubkeys(stack, at, subkeys);
        } else {
            for (const auto& sub : subkeys)
                s.out << at.fullName << "\\" << sub << "\n";
        }
        recursing = true;
    }
}

void queryValue(QueryState& s, HKEY root, const std::string& path, const std::string& fullName,
                const std::string& name, bool recurse) {
    std::vector<WalkItem> stack{{path, fullName}};
    while (!stack.empty()) {
        WalkItem at = std::move(stack.back());
        stack.pop_back();
        RegistryValue v;
        if (s.reg.getValue(root, at.path, name, v, s.options) == ERROR_SUCCESS) {
            s.out << at.fullName << "\n";
            printValue(s.out, v);
            s.out << "\n";
            ++s.matches;
        }
        if (!recurse) return;
        std::vector<std::string> subkeys;
        s.reg.enumKeys(root, at.path, subkeys, s.options);
        pushSubkeys(stack, at, subkeys);
    }
}

int regQuery(Registry& reg, const std::vector<std::string>& a, Console& c) {
    if (a.size() < 2) throw syntax("QUERY");
    KeyArg key = parseKey(a[1], "QUERY");
    const Switches sw(a, 2, "QUERY", {"ve", "s"}, {"v"});
    const bool haveV = sw.has("v"), ve = sw.has("ve"), recurse = sw.has("s");
    const std::string valueName = sw.value("v");
    if (haveV && ve) throw syntax("QUERY");
    QueryState s{reg, sw.view(), c.out};
    if (!reg.keyExists(key.root, key.path, s.options)) {
        c.err << notFound() << "\n";
        return 1;
    }
    if (haveV || ve) {
        std::ostringstream buffer;
        QueryState b{reg, s.options, buffer};
        if (!recurse) {
            RegistryValue v;
            if (reg.getValue(key.root, key.path, valueName, v, s.options) != ERROR_SUCCESS) {
                if (haveV) {
                    c.err << notFound() << "\n";
                    return 1;
                }
                c.out << "\n"
                      << key.fullName << "\n    " << defaultName() << "    REG_SZ    "
                      << text::tr("(Wert nicht festgelegt)") << "\n\n";
                return 0;
            }
        }
        queryValue(b, key.root, key.path, key.fullName, valueName, recurse);
        c.out << "\n" << buffer.str();
        if (recurse)
            c.out << text::trf("Suche beendet: %1 Übereinstimmung(en) gefunden.",
                               std::to_string(b.matches))
                  << "\n";
        return 0;
    }
    c.out << "\n";
    queryAll(s, key.root, key.path, key.fullName, recurse);
    return 0;
}

// --- add ---

// The one line that says why a write was refused: the registry's own reason when it gave
// one (a name the file cannot hold, a value too large for it), else reg.exe's words.
std::string refusalText(const Registry& reg, int rc) {
    if (rc == ERROR_INVALID_PARAMETER && !reg.lastRefusal().empty())
        return text::trf("FEHLER: %1", reg.lastRefusal());
    return accessDenied();
}

std::vector<std::uint8_t> parseData(DWORD type, const std::string& data,
                                    const std::string& separator) {
    auto number = [&](std::uint64_t max) -> std::uint64_t {
        std::string_view s = data;
        int base = 10;
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
            s.remove_prefix(2), base = 16;
        std::uint64_t n = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n, base);
        if (s.empty() || ec != std::errc() || end != s.data() + s.size() || n > max)
            throw syntax("ADD");
        return n;
    };
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return makeStringData(data);
    case REG_DWORD:
        return makeDwordData(static_cast<DWORD>(number(0xFFFFFFFFull)));
    case REG_QWORD:
        return makeQwordData(number(~0ull));
    case REG_MULTI_SZ: {
        std::vector<std::string> items;
        std::string sep = separator.empty() ? "\\0" : separator;
        std::size_t start = 0;
        while (start <= data.size() && !data.empty()) {
            std::size_t at = data.find(sep, start);
            if (at == std::string::npos) at = data.size();
            items.push_back(data.substr(start, at - start));
            start = at + sep.size();
        }
        for (const auto& item : items)
            if (item.empty()) throw syntax("ADD"); // an empty string would end the list early
        return makeMultiStringData(items);
    }
    default: {
        // REG_BINARY, REG_NONE and numbered types take hex digits.
        std::string digits = data;
        if (digits.size() % 2) digits.insert(digits.begin(), '0');
        std::vector<std::uint8_t> out;
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            unsigned v = 0;
            auto [end, ec] = std::from_chars(digits.data() + i, digits.data() + i + 2, v, 16);
            if (ec != std::errc() || end != digits.data() + i + 2) throw syntax("ADD");
            out.push_back(static_cast<std::uint8_t>(v));
        }
        return out;
    }
    }
}

bool parseType(const std::string& name, DWORD& type) {
    static const std::pair<const char*, DWORD> kTypes[] = {
        {"REG_SZ", REG_SZ},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ},
        {"REG_MULTI_SZ", REG_MULTI_SZ},
        {"REG_DWORD", REG_DWORD},
        {"REG_QWORD", REG_QWORD},
        {"REG_BINARY", REG_BINARY},
        {"REG_NONE", REG_NONE},
        {"REG_DWORD_LITTLE_ENDIAN", REG_DWORD},
        {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN},
    };
    for (const auto& [n, t] : kTypes)
        if (text::namesEqual(name, n)) {
            type = t;
            return true;
        }
    return false;
}

int regAdd(Registry& reg, const std::vector<std::string>& a, Console& c) {
    if (a.size() < 2) throw syntax("ADD");
    KeyArg key = parseKey(a[1], "ADD");
    const Switches sw(a, 2, "ADD", {"ve", "f"}, {"v", "t", "d", "s"});
    const bool haveV = sw.has("v"), ve = sw.has("ve"), haveT = sw.has("t"), haveD = sw.has("d"),
               haveS = sw.has("s"), force = sw.has("f");
    const std::string valueName = sw.value("v"), typeText = sw.value("t", "REG_SZ"),
                      data = sw.value("d"), separator = sw.value("s");
    if ((haveV && ve) || key.path.empty()) throw syntax("ADD");
    DWORD type = REG_SZ;
    if (!parseType(typeText, type)) {
        c.err << syntax("ADD").message << "\n";
        return 1;
    }
    if (haveS && (type != REG_MULTI_SZ || separator.size() != 1)) throw syntax("ADD");
    RegOptions options = sw.view();
    if (!haveV && !ve && !haveT && !haveD) {
        int rc = reg.createKey(key.root, key.path, options);
        if (rc != ERROR_SUCCESS) {
            c.err << refusalText(reg, rc) << "\n";
            return 1;
        }
        reg.flush();
        c.out << success() << "\n";
        return 0;
    }
    std::vector<std::uint8_t> bytes = parseData(type, data, separator);
    RegistryValue existing;
    if (!force && reg.getValue(key.root, key.path, valueName, existing, options) == ERROR_SUCCESS) {
        if (!confirm(c, text::trf("Der Wert %1 ist bereits vorhanden. Überschreiben (Ja/Nein)?",
                                  valueName.empty() ? defaultName() : valueName))) {
            c.out << cancelled() << "\n";
            return 1;
        }
    }
    int rc = reg.setValue(key.root, key.path, valueName, type, std::move(bytes), options);
    if (rc != ERROR_SUCCESS) {
        c.err << refusalText(reg, rc) << "\n";
        return 1;
    }
    reg.flush();
    c.out << success() << "\n";
    return 0;
}

// --- delete ---

int regDelete(Registry& reg, const std::vector<std::string>& a, Console& c) {
    if (a.size() < 2) throw syntax("DELETE");
    KeyArg key = parseKey(a[1], "DELETE");
    const Switches sw(a, 2, "DELETE", {"ve", "va", "f"}, {"v"});
    const bool haveV = sw.has("v"), ve = sw.has("ve"), va = sw.has("va"), force = sw.has("f");
    const std::string valueName = sw.value("v");
    if ((haveV + ve + va) > 1) throw syntax("DELETE");
    RegOptions options = sw.view();
    if (!reg.keyExists(key.root, key.path, options)) {
        c.err << notFound() << "\n";
        return 1;
    }
    if (!haveV && !ve && !va) {
        if (key.path.empty()) {
            c.err << accessDenied() << "\n";
            return 1;
        }
        if (!force &&
            !confirm(c, text::trf("Den Registrierungsschlüssel %1 endgültig löschen (Ja/Nein)?",
                                  key.fullName))) {
            c.out << cancelled() << "\n";
            return 1;
        }
        if (reg.deleteKey(key.root, key.path, options) != ERROR_SUCCESS) {
            c.err << accessDenied() << "\n";
            return 1;
        }
    } else if (va) {
        if (!force &&
            !confirm(c, text::trf("Alle Werte unter dem Registrierungsschlüssel %1 löschen "
                                  "(Ja/Nein)?",
                                  key.fullName))) {
            c.out << cancelled() << "\n";
            return 1;
        }
        std::vector<RegistryValue> values;
        reg.enumValues(key.root, key.path, values, options);
        BackupGroup group("reg delete " + key.fullName + " /va");
        for (const auto& v : values)
            reg.deleteValue(key.root, key.path, v.name, options);
        group.commit();
    } else {
        RegistryValue v;
        if (reg.getValue(key.root, key.path, valueName, v, options) != ERROR_SUCCESS) {
            c.err << notFound() << "\n";
            return 1;
        }
        if (!force && !confirm(c, text::trf("Den Registrierungswert %1 löschen (Ja/Nein)?",
                                            valueName.empty() ? defaultName() : valueName))) {
            c.out << cancelled() << "\n";
            return 1;
        }
        reg.deleteValue(key.root, key.path, valueName, options);
    }
    reg.flush();
    c.out << success() << "\n";
    return 0;
}

// --- export / import ---

void exportTree(Registry& reg, HKEY root, const std::string& path, const std::string& fullName,
                RegOptions options, registry::RegFileWriter& writer) {
    std::vector<WalkItem> stack{{path, fullName}};
    while (!stack.empty()) {
        WalkItem at = std::move(stack.back());
        stack.pop_back();
        std::vector<RegistryValue> values;
        reg.enumValues(root, at.path, values, options);
        writer.addKey(at.fullName, values);
        std::vector<std::string> subkeys;
        reg.enumKeys(root, at.path, subkeys, options);
        pushSubkeys(stack, at, subkeys);
    }
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

int regExport(Registry& reg, const std::vector<std::string>& a, Console& c, bool dryRun) {
    if (a.size() < 3) throw syntax("EXPORT");
    KeyArg key = parseKey(a[1], "EXPORT");
    std::string file = a[2];
    const Switches sw(a, 3, "EXPORT", {"y"});
    const bool overwrite = sw.has("y");
    RegOptions options = sw.view();
    if (!reg.keyExists(key.root, key.path, options)) {
        c.err << notFound() << "\n";
        return 1;
    }
    if (fileExists(file) && !overwrite &&
        !confirm(c,
                 text::trf("Die Datei %1 ist bereits vorhanden. Überschreiben (Ja/Nein)?", file))) {
        c.out << cancelled() << "\n";
        return 1;
    }
    registry::RegFileWriter writer;
    exportTree(reg, key.root, key.path, key.fullName, options, writer);
    if (dryRun) {
        c.out << text::trf("Probelauf: %1 wurde nicht geschrieben (%2 Bytes).", file,
                           std::to_string(writer.bytes().size()))
              << "\n";
        return 0;
    }
    registry::writeFileAtomically(file, writer.bytes());
    c.out << success() << "\n";
    return 0;
}

int regImport(Registry& reg, const std::vector<std::string>& a, Console& c) {
    if (a.size() < 2) throw syntax("IMPORT");
    std::string file = a[1];
    // Our own words besides reg.exe's switches; --dry-run was set up by the caller.
    std::vector<std::string> rest;
    bool verbose = false;
    for (const auto& arg : a) {
        if (arg == "--verbose" && !verbose)
            verbose = true;
        else if (arg != "--dry-run")
            rest.push_back(arg);
    }
    const Switches sw(rest, 2, "IMPORT", {});
    RegOptions options = sw.view();
    std::string bytes;
    try {
        bytes = registry::readWholeFile(file);
    } catch (const RegistryAccessError&) {
        c.err << text::tr("FEHLER: Fehler beim Öffnen der Datei. Möglicherweise liegt ein "
                          "Datenträger- oder Dateisystemfehler vor.")
              << "\n";
        return 1;
    }
    // The whole file is read and checked before anything is changed.
    registry::RegFileContent content = registry::parseRegFile(bytes, file);
    struct Target {
        HKEY root;
        std::string path;
    };
    std::vector<Target> targets;
    for (const auto& op : content.operations) {
        Target t{};
        if (!Registry::splitKeyName(op.key, t.root, t.path) || t.path.empty())
            throw RegistryFormatError(file, op.line,
                                      text::trf("Ungültiger Schlüsselname \"%1\"", op.key));
        targets.push_back(std::move(t));
    }
    using Kind = registry::RegFileOperation::Kind;
    std::vector<std::string> written;
    BackupGroup group("reg import " + file);
    for (std::size_t i = 0; i < content.operations.size(); ++i) {
        const auto& op = content.operations[i];
        const auto& t = targets[i];
        int rc = ERROR_SUCCESS;
        switch (op.kind) {
        case Kind::CreateKey:
            rc = reg.createKey(t.root, t.path, options);
            break;
        case Kind::DeleteKey:
            // A key that is not there is nothing to delete; one that cannot be deleted (the
            // root of a hive file) is an error, not a silent success.
            rc = reg.deleteKey(t.root, t.path, options);
            if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
            break;
        case Kind::SetValue:
            rc = reg.setValue(t.root, t.path, op.value.name, op.value.type, op.value.data, options);
            break;
        case Kind::DeleteValue:
            reg.deleteValue(t.root, t.path, op.value.name, options);
            break;
        }
        if (rc != ERROR_SUCCESS) {
            std::string why =
                rc == ERROR_INVALID_PARAMETER && !reg.lastRefusal().empty() ? reg.lastRefusal()
                : op.kind == Kind::DeleteKey
                    ? text::tr("Der Schlüssel ist der Stamm einer Hive-Datei und kann nicht "
                               "gelöscht werden.")
                    : text::tr("Zugriff verweigert.");
            const std::string where = file + ":" + std::to_string(op.line);
            throw RegistryAccessError(
                op.kind == Kind::DeleteKey
                    ? text::trf("%1: %2 kann nicht gelöscht werden (%3)", where, op.key, why)
                    : text::trf("%1: %2 kann nicht geschrieben werden (%3)", where, op.key, why));
        }
        // A write is reported once it is durable: the whole import is one transaction,
        // committed at its end.
        if (verbose && op.kind == Kind::SetValue) written.push_back(op.key + "\t" + op.value.name);
    }
    group.commit();
    reg.flush();
    for (const auto& line : written)
        c.out << line << "\n";
    c.out << success() << "\n";
    return 0;
}

} // namespace

int runRegCommand(Registry& registry, const std::vector<std::string>& args, Console& console,
                  bool dryRun) {
    if (args.empty()) {
        console.err << text::tr(
                           "FEHLER: Ungültige Syntax.\nGeben Sie \"REG /?\" ein, um die Syntax "
                           "anzuzeigen.")
                    << "\n";
        return 1;
    }
    std::string op = upper(args[0]);
    JournalSetContext("reg", "reg " + std::string(args[0]));
    try {
        if (op == "QUERY") return regQuery(registry, args, console);
        if (op == "ADD") return regAdd(registry, args, console);
        if (op == "DELETE") return regDelete(registry, args, console);
        if (op == "EXPORT") return regExport(registry, args, console, dryRun);
        if (op == "IMPORT") return regImport(registry, args, console);
        console.err << text::tr(
                           "FEHLER: Ungültige Syntax.\nGeben Sie \"REG /?\" ein, um die Syntax "
                           "anzuzeigen.")
                    << "\n";
        return 1;
    } catch (const UsageError& e) {
        console.err << e.message << "\n";
        return 1;
    } catch (const RegistryFormatError& e) {
        console.err << text::trf("FEHLER: %1", e.what()) << "\n";
        return 1;
    } catch (const RegistryAccessError& e) {
        console.err << text::trf("FEHLER: %1", e.what()) << "\n";
        return 1;
    }
}

} // namespace ravelin::app
