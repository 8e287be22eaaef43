#include "host/registry/Registry.h"

#include "host/registry/FileUtil.h"
#include "host/registry/NtHiveFile.h"
#include "host/registry/WineRegistryFile.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <array>
#include <dirent.h>
#include <sys/stat.h>

namespace ravelin::registry {

namespace {

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
bool isDir(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entry of `dir` whose name equals `name` ignoring case, as Windows resolves names.
std::string findEntry(const std::string& dir, const std::string& name) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (text::namesEqual(e->d_name, name)) {
            found = dir + "/" + e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::string findPath(const std::string& dir, std::initializer_list<const char*> parts) {
    std::string path = dir;
    for (const char* part : parts) {
        path = findEntry(path, part);
        if (path.empty()) return {};
    }
    return path;
}

// The user profile of a Windows drive that has an NTUSER.DAT: the preferred user's, else
// the first real one.
std::string findUserHive(const std::string& root, const std::string& preferred) {
    for (const char* base : {"Users", "Documents and Settings"}) {
        std::string usersDir = findEntry(root, base);
        if (usersDir.empty()) continue;
        DIR* d = ::opendir(usersDir.c_str());
        if (!d) continue;
        std::vector<std::string> names;
        while (dirent* e = ::readdir(d))
            names.emplace_back(e->d_name);
        ::closedir(d);
        std::sort(names.begin(), names.end());
        if (!preferred.empty())
            for (const auto& n : names)
                if (text::namesEqual(n, preferred)) {
                    std::string hive = findEntry(usersDir + "/" + n, "NTUSER.DAT");
                    if (!hive.empty() && isFile(hive)) return hive;
                }
        for (const auto& n : names) {
            if (n == "." || n == ".." || text::namesEqual(n, "Default") ||
                text::namesEqual(n, "Default User") || text::namesEqual(n, "All Users") ||
                text::namesEqual(n, "Public") || text::namesEqual(n, "LocalService") ||
                text::namesEqual(n, "NetworkService"))
                continue;
            std::string hive = findEntry(usersDir + "/" + n, "NTUSER.DAT");
            if (!hive.empty() && isFile(hive)) return hive;
        }
    }
    return {};
}

bool ieq(std::string_view a, std::string_view b) {
    return text::namesEqual(a, b);
}

// HKLM\Software subtrees that 32-bit and 64-bit programs share on Windows 7.
constexpr std::array<std::string_view, 24> kSharedSoftware = {
    "Clients",
    "Policies",
    "RegisteredApplications",
    "Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
    "Microsoft\\Windows\\CurrentVersion\\Group Policy",
    "Microsoft\\Windows\\CurrentVersion\\Policies",
    "Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Setup",
    "Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations",
    "Microsoft\\Windows NT\\CurrentVersion\\Console",
    "Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    "Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    "Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    "Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    "Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
    "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    "Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    "Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
    "Microsoft\\SystemCertificates",
    "Microsoft\\Cryptography\\Services",
};

// Subkeys of Software\Classes that have a 32-bit view of their own.
constexpr std::array<std::string_view, 5> kRedirectedClasses = {"CLSID", "DirectShow", "Interface",
                                                                "Media Type", "MediaFoundation"};

bool startsWithComponents(const std::vector<std::string>& comps, std::size_t from,
                          std::string_view prefix) {
    auto parts = splitPath(prefix);
    if (comps.size() - from < parts.size()) return false;
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (!ieq(comps[from + i], parts[i])) return false;
    return true;
}

std::string joinPath(const std::vector<std::string>& comps, std::size_t from = 0) {
    std::string out;
    for (std::size_t i = from; i < comps.size(); ++i) {
        if (!out.empty()) out.push_back('\\');
        out += comps[i];
    }
    return out;
}

} // namespace

std::vector<std::string> splitPath(std::string_view path) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t sep = path.find('\\', start);
        if (sep == std::string_view::npos) sep = path.size();
        if (sep > start) out.emplace_back(path.substr(start, sep - start));
        start = sep + 1;
    }
    return out;
}

Registry::~Registry() = default;

std::unique_ptr<Registry> Registry::openMachine(const std::string& dir,
                                                const std::string& preferredUser) {
    auto reg = std::make_unique<Registry>();
    std::string system = dir + "/system.reg";
    if (isFile(system)) {
        auto sys = WineHive::load(system);
        reg->is64_ = sys->arch() == "win64";
        reg->mount(HKEY_LOCAL_MACHINE, "", std::move(sys));
        std::string user = dir + "/user.reg";
        if (isFile(user)) {
            auto hive = WineHive::load(user);
            std::string sid = "S-1-5-21-0-0-0-1000";
            auto rel = splitPath(hive->relativeTo());
            if (rel.size() == 3 && ieq(rel[1], "User")) sid = rel[2];
            reg->mount(HKEY_USERS, sid, std::move(hive));
            reg->setCurrentUser(sid);
        }
        std::string userdef = dir + "/userdef.reg";
        if (isFile(userdef)) reg->mount(HKEY_USERS, ".DEFAULT", WineHive::load(userdef));
        reg->setMachineDir(dir, true);
        return reg;
    }
    std::string config = findPath(dir, {"Windows", "System32", "config"});
    if (config.empty() && (isFile(findEntry(dir, "SOFTWARE")) || isFile(findEntry(dir, "SYSTEM")) ||
                           isFile(findEntry(dir, "NTUSER.DAT"))))
        config = dir;
    if (config.empty() || !isDir(config))
        throw RegistryAccessError(
            text::trf("%1: Das ist kein Maschinenordner (weder Registrierungsdateien eines "
                      "Wine-Präfixes noch Hive-Dateien von Windows gefunden).",
                      dir));
    bool any = false;
    for (const char* name : {"SOFTWARE", "SYSTEM"}) {
        std::string file = findEntry(config, name);
        if (!file.empty() && isFile(file)) {
            reg->mount(HKEY_LOCAL_MACHINE, name, NtHive::load(file));
            any = true;
        }
    }
    std::string def = findEntry(config, "DEFAULT");
    if (!def.empty() && isFile(def))
        reg->mount(HKEY_USERS, ".DEFAULT", NtHive::load(def)), any = true;
    std::string user = findUserHive(dir, preferredUser);
    if (user.empty()) {
        std::string flat = findEntry(config, "NTUSER.DAT");
        if (!flat.empty() && isFile(flat)) user = flat;
    }
    if (!user.empty()) {
        reg->mount(HKEY_USERS, "S-1-5-21-0-0-0-1000", NtHive::load(user));
        reg->setCurrentUser("S-1-5-21-0-0-0-1000");
        any = true;
    }
    if (!any) throw RegistryAccessError(text::trf("%1: Keine Hive-Dateien gefunden.", dir));
    reg->is64_ = reg->keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node", {2});
    reg->setMachineDir(dir, false);
    return reg;
}

Hive& Registry::mount(HKEY root, const std::string& prefix, std::unique_ptr<Hive> hive) {
    Hive& ref = *hive;
    mounts_.push_back(Mount{root, splitPath(prefix), std::move(hive)});
    return ref;
}

void Registry::adoptLock(std::unique_ptr<MachineLock> lock) {
    lock_ = std::move(lock);
    writeChecked_ = false;
    if (!lock_) return;
    for (const auto& m : mounts_) {
        removeTemporariesBeside(m.hive->file());
        try {
            if (std::string target = saveTarget(m.hive->file());
                target != m.hive->file() && resolvesInside(target, {machineDir_}))
                removeTemporariesBeside(target);
        } catch (const RegistryAccessError&) {
            // A dangling link: refused when written, nothing beside it to clean.
        }
    }
}

void Registry::setCurrentUser(const std::string& sid) {
    currentUserSid_ = sid;
}

void Registry::setMachineDir(const std::string& dir, bool winePrefix) {
    machineDir_ = dir;
    winePrefix_ = winePrefix;
}

bool Registry::view32(RegOptions options) const {
    if (!is64_) return false;
    if (options.has(1)) return true;
    if (options.has(0) || options.has(2)) return false;
    return wow64_;
}

std::string Registry::redirect(HKEY root, const std::string& path, RegOptions options) const {
    if (!view32(options)) return path;
    auto comps = splitPath(path);
    auto classes = [&](std::size_t at) {
        if (comps.size() > at && !ieq(comps[at], "Wow6432Node"))
            for (auto name : kRedirectedClasses)
                if (ieq(comps[at], name)) {
                    comps.insert(comps.begin() + static_cast<std::ptrdiff_t>(at), "Wow6432Node");
                    break;
                }
    };
    if ((root == HKEY_LOCAL_MACHINE || root == HKEY_CURRENT_USER) && !comps.empty() &&
        ieq(comps[0], "Software")) {
        if (comps.size() >= 2 && ieq(comps[1], "Classes")) {
            classes(2);
        } else if (root == HKEY_LOCAL_MACHINE &&
                   !(comps.size() >= 2 && ieq(comps[1], "Wow6432Node"))) {
            bool shared = false;
            for (auto s : kSharedSoftware)
                if (startsWithComponents(comps, 1, s)) shared = true;
            if (!shared) comps.insert(comps.begin() + 1, "Wow6432Node");
        }
    }
    return joinPath(comps);
}

std::vector<std::pair<HKEY, std::string>> Registry::candidates(HKEY root, std::string_view path,
                                                               RegOptions options) const {
    std::string p(path);
    std::vector<std::pair<HKEY, std::string>> out;
    auto withSub = [&](std::string base) { return p.empty() ? base : base + "\\" + p; };
    if (root == HKEY_CLASSES_ROOT) {
        out.emplace_back(HKEY_CURRENT_USER, withSub("Software\\Classes"));
        out.emplace_back(HKEY_LOCAL_MACHINE, withSub("Software\\Classes"));
    } else if (root == HKEY_CURRENT_CONFIG) {
        out.emplace_back(HKEY_LOCAL_MACHINE,
                         withSub("SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"));
    } else {
        out.emplace_back(root, p);
    }
    for (auto& [r, q] : out)
        q = redirect(r, q, options);
    return out;
}

Registry::Place Registry::resolve(HKEY root, const std::string& path, int depth) {
    Place place;
    auto comps = splitPath(path);
    if (root == HKEY_CURRENT_USER) {
        if (currentUserSid_.empty()) return place;
        root = HKEY_USERS;
        comps.insert(comps.begin(), currentUserSid_);
    }
    const Mount* best = nullptr;
    for (const auto& m : mounts_) {
        if (m.root != root || m.prefix.size() > comps.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < m.prefix.size() && match; ++i)
            match = ieq(m.prefix[i], comps[i]);
        if (match && (!best || m.prefix.size() > best->prefix.size())) best = &m;
    }
    if (!best) {
        // Above the mounts: a key that only has the mounts' names below it.
        for (const auto& m : mounts_) {
            if (m.root != root || m.prefix.size() <= comps.size()) continue;
            bool match = true;
            for (std::size_t i = 0; i < comps.size() && match; ++i)
                match = ieq(m.prefix[i], comps[i]);
            if (!match) continue;
            const std::string& next = m.prefix[comps.size()];
            if (std::none_of(place.virtualSubkeys.begin(), place.virtualSubkeys.end(),
                             [&](const std::string& s) { return ieq(s, next); }))
                place.virtualSubkeys.push_back(next);
        }
        place.exists = !place.virtualSubkeys.empty() ||
                       (comps.empty() && (root == HKEY_LOCAL_MACHINE || root == HKEY_USERS));
        std::sort(place.virtualSubkeys.begin(), place.virtualSubkeys.end(),
                  [](const std::string& a, const std::string& b) {
                      return text::compareNames(a, b) < 0;
                  });
        return place;
    }
    Hive* hive = best->hive.get();
    Key* key = &hive->root();
    for (std::size_t i = best->prefix.size(); i < comps.size(); ++i) {
        Key* next = key->findSubkey(comps[i]);
        if (!next && key == &hive->root() && root == HKEY_LOCAL_MACHINE &&
            best->prefix.size() == 1 && ieq(best->prefix[0], "SYSTEM") &&
            ieq(comps[i], "CurrentControlSet")) {
            // A hive file has no CurrentControlSet: Windows makes it at boot from Select\Current.
            DWORD current = 1;
            if (Key* select = key->findSubkey("Select"))
                if (const RegistryValue* v = select->findValue("Current"); v && v->data.size() == 4)
                    current = static_cast<DWORD>(v->data[0] | v->data[1] << 8 | v->data[2] << 16 |
                                                 v->data[3] << 24);
            char name[32];
            std::snprintf(name, sizeof name, "ControlSet%03u", current);
            next = key->findSubkey(name);
        }
        if (!next) return place;
        if (next->isLink() && depth < 8) {
            // Follow a symbolic link key: its target is a native path such as
            // \Registry\Machine\System\ControlSet001.
            const RegistryValue* target = next->findValue("SymbolicLinkValue");
            if (target) {
                auto parts = splitPath(stringFromData(target->data));
                if (parts.size() >= 2 && ieq(parts[0], "Registry")) {
                    HKEY targetRoot = ieq(parts[1], "Machine") ? HKEY_LOCAL_MACHINE
                                      : ieq(parts[1], "User")  ? HKEY_USERS
                                                               : 0;
                    if (targetRoot) {
                        std::vector<std::string> rest(parts.begin() + 2, parts.end());
                        rest.insert(rest.end(), comps.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                    comps.end());
                        return resolve(targetRoot, joinPath(rest), depth + 1);
                    }
                }
            }
        }
        key = next;
    }
    place.hive = hive;
    place.key = key;
    place.exists = true;
    return place;
}

bool Registry::keyExists(HKEY root, std::string_view path, RegOptions options) {
    for (auto& [r, p] : candidates(root, path, options))
        if (resolve(r, p).exists) return true;
    return false;
}

int Registry::getValue(HKEY root, std::string_view path, std::string_view name, RegistryValue& out,
                       RegOptions options) {
    for (auto& [r, p] : candidates(root, path, options)) {
        Place place = resolve(r, p);
        if (!place.key) continue;
        if (const RegistryValue* v = place.key->findValue(name)) {
            out = *v;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

int Registry::enumKeys(HKEY root, std::string_view path, std::vector<std::string>& names,
                       RegOptions options) {
    names.clear();
    bool found = false;
    for (auto& [r, p] : candidates(root, path, options)) {
        Place place = resolve(r, p);
        if (!place.exists) continue;
        found = true;
        std::vector<std::string> these = place.virtualSubkeys;
        if (place.key)
            for (const auto& sub : place.key->subkeys())
                these.push_back(sub->name());
        for (auto& n : these)
            if (std::none_of(names.begin(), names.end(),
                             [&](const std::string& s) { return ieq(s, n); }))
                names.push_back(std::move(n));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return text::compareNames(a, b) < 0;
    });
    return found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

int Registry::enumValues(HKEY root, std::string_view path, std::vector<RegistryValue>& values,
                         RegOptions options) {
    values.clear();
    bool found = false;
    for (auto& [r, p] : candidates(root, path, options)) {
        Place place = resolve(r, p);
        if (!place.exists) continue;
        found = true;
        if (!place.key) continue;
        for (const auto& v : place.key->values())
            if (std::none_of(values.begin(), values.end(),
                             [&](const RegistryValue& s) { return ieq(s.name, v.name); }))
                values.push_back(v);
    }
    return found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

std::uint64_t Registry::lastWriteTime(HKEY root, std::string_view path, RegOptions options) {
    for (auto& [r, p] : candidates(root, path, options)) {
        Place place = resolve(r, p);
        if (place.key) return place.key->lastWrite();
    }
    return 0;
}

void Registry::beginWrite() {
    if (machineDir_.empty() || dryRun_ || (lock_ && writeChecked_)) return;
    // The lock may have been taken before the files were read (a command); else it is
    // taken now, and the files must still be the ones read.
    const bool stale = lock_ == nullptr;
    auto lock = lock_ ? nullptr : std::make_unique<MachineLock>(machineDir_);
    if (winePrefix_) {
        if (auto pid = runningWineserver(machineDir_))
            throw RegistryAccessError(text::trf(
                "%1: Wine läuft auf diesem Präfix (wineserver-PID %2) und würde die Änderungen "
                "beim Beenden überschreiben. Schließen Sie zuerst seine Programme oder führen Sie "
                "\"wineserver -k\" aus.",
                machineDir_, std::to_string(*pid)));
    }
    for (const auto& m : mounts_) {
        const std::string& file = m.hive->file();
        if (!resolvesInside(file, {machineDir_}))
            throw RegistryAccessError(
                text::trf("%1: Abgelehnt: Die Registrierungsdatei liegt außerhalb des "
                          "Maschinenordners (Verknüpfungen verfolgt); es wurde nichts geschrieben.",
                          file));
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && st.st_nlink > 1)
            throw RegistryAccessError(
                text::trf("%1: Abgelehnt: Die Registrierungsdatei hat %2 feste Verknüpfungen, die "
                          "beim Ersetzen verloren gingen; es wurde nichts geschrieben.",
                          file, std::to_string(st.st_nlink)));
        // What another process wrote since this copy was read would be lost.
        if (stale && m.hive->fileChangedOnDisk())
            throw RegistryAccessError(
                text::trf("%1: Seit dem Lesen von einem anderen Programm geändert; es wurde nichts "
                          "geschrieben. Öffnen Sie die Maschine erneut, um seine Änderungen zu "
                          "sehen.",
                          file));
    }
    if (lock) lock_ = std::move(lock);
    writeChecked_ = true;
}

bool Registry::isMachineFolder(const std::string& dir) {
    if (isFile(dir + "/system.reg")) return true;
    std::string config = findPath(dir, {"Windows", "System32", "config"});
    if (!config.empty() && isDir(config)) return true;
    return isFile(findEntry(dir, "SOFTWARE")) || isFile(findEntry(dir, "SYSTEM")) ||
           isFile(findEntry(dir, "NTUSER.DAT"));
}

namespace {

// Where an HKEY_CLASSES_ROOT write goes: the per-user key when it exists, else the machine's.
std::size_t writeTarget(Registry& reg, const std::vector<std::pair<HKEY, std::string>>& cands) {
    for (std::size_t i = 0; i + 1 < cands.size(); ++i)
        if (reg.keyExists(cands[i].first, cands[i].second, {2})) return i;
    return cands.size() - 1;
}

Key* findInHive(Hive& hive, const std::string& path) {
    Key* key = &hive.root();
    for (const auto& c : splitPath(path)) {
        key = key->findSubkey(c);
        if (!key) return nullptr;
    }
    return key;
}

Key* createInHive(Hive& hive, const std::string& path, std::uint64_t now) {
    Key* key = &hive.root();
    for (const auto& c : splitPath(path)) {
        bool created = false;
        Key& next = key->addSubkey(c, created);
        if (created) {
            next.markDirty(now);
            key->markStructureChanged(now);
        }
        key = &next;
    }
    return key;
}

// The image of a chain of new, empty keys (names after the first), with `content` copied
// into the last of them.
std::string chainImage(const std::vector<std::string>& names, Key* content) {
    MemoryHive image;
    Key* key = &image.root();
    for (std::size_t i = 1; i < names.size(); ++i) {
        bool created = false;
        key = &key->addSubkey(names[i], created);
    }
    if (content) copyTree(*content, *key, 0);
    return treeImage(image.root());
}

std::string joinWith(const std::string& base, const std::string& name) {
    return base.empty() ? name : base + "\\" + name;
}

// The secret values of a subtree lying at `at` in its hive: automatic-logon secrets by
// where they lie, values `known` (relative to `at`) to be sensitive, or all of them.
void addSecrets(Key& key, const std::string& at, const std::string& rel, bool all,
                const std::vector<SecretValue>& known, std::vector<SecretValue>& out) {
    for (const auto& v : key.values())
        if (all || isSecretValue(at, v.name) || isSecret(known, rel, v.name))
            out.push_back({rel, v.name});
    for (const auto& sub : key.subkeys())
        addSecrets(*sub, joinWith(at, sub->name()), joinWith(rel, sub->name()), all, known, out);
}

} // namespace

std::string Registry::hiveId(const Hive& hive) const {
    const std::string& file = hive.file();
    if (!machineDir_.empty() && file.size() > machineDir_.size() + 1 &&
        file.compare(0, machineDir_.size(), machineDir_) == 0 && file[machineDir_.size()] == '/')
        return file.substr(machineDir_.size() + 1);
    return file;
}

Hive* Registry::hiveById(const std::string& id) {
    for (auto& m : mounts_)
        if (hiveId(*m.hive) == id) return m.hive.get();
    return nullptr;
}

std::string Registry::fullNameOf(const Hive& hive, const std::string& keyPath) const {
    for (const auto& m : mounts_) {
        if (m.hive.get() != &hive) continue;
        std::string name = rootName(m.root);
        std::size_t skip = 0;
        if (m.root == HKEY_USERS && !m.prefix.empty() && m.prefix[0] == currentUserSid_) {
            name = rootName(HKEY_CURRENT_USER);
            skip = 1;
        }
        for (std::size_t i = skip; i < m.prefix.size(); ++i)
            name += "\\" + m.prefix[i];
        if (!keyPath.empty()) name += "\\" + keyPath;
        return name;
    }
    return keyPath;
}

int Registry::checkNames(Hive& hive, Key* into, const std::vector<std::string>& newKeys,
                         const std::string* valueName) {
    constexpr std::size_t kMaxKeyName = 255, kMaxValueName = 16383;
    const bool ntHive = hive.format() == Hive::Format::NtHive;
    auto refuse = [&](std::string why) {
        refusal_ = std::move(why);
        return ERROR_INVALID_PARAMETER;
    };
    auto shown = [](const std::string& name) {
        std::string out;
        for (char c : name.substr(0, 60))
            out += c == '\0' ? std::string("\\0") : std::string(1, c);
        return name.size() > 60 ? out + "..." : out;
    };
    for (const auto& k : newKeys) {
        if (text::utf8ToUtf16(k).size() > kMaxKeyName)
            return refuse(
                text::trf("Der Schlüsselname \"%1\" ist länger als 255 Zeichen.", shown(k)));
        if (ntHive && k.find('\0') != std::string::npos)
            return refuse(text::trf("Der Schlüsselname \"%1\" enthält ein NUL-Zeichen, das %2 "
                                    "nicht speichern kann.",
                                    shown(k), hive.file()));
    }
    if (valueName) {
        if (text::utf8ToUtf16(*valueName).size() > kMaxValueName)
            return refuse(
                text::trf("Der Wertname \"%1\" ist länger als 16.383 Zeichen.", shown(*valueName)));
        if (ntHive && valueName->find('\0') != std::string::npos)
            return refuse(text::trf("Der Wertname \"%1\" enthält ein NUL-Zeichen, das %2 nicht "
                                    "speichern kann.",
                                    shown(*valueName), hive.file()));
    }
    if (ntHive && into && into->origin().namesCutAtNul)
        return refuse(text::trf("%1 enthält einen Namen mit einem NUL-Zeichen, den das Schreiben "
                                "des Schlüssels in %2 verändern würde; abgelehnt.",
                                fullNameOf(hive, into->path()), hive.file()));
    return ERROR_SUCCESS;
}

int Registry::checkDepth(const KeyPlan& plan) {
    std::size_t depth = plan.missing.size();
    for (const Key* up = plan.existing; up && up->parent(); up = up->parent())
        ++depth;
    if (depth <= kMaxKeyDepth) return ERROR_SUCCESS;
    refusal_ = text::trf("Der Schlüssel läge %1 Ebenen tief in %2; die Registrierung erlaubt 512.",
                         std::to_string(depth), plan.hive->file());
    return ERROR_INVALID_PARAMETER;
}

bool Registry::planKey(HKEY root, const std::string& path, KeyPlan& plan) {
    auto comps = splitPath(path);
    std::size_t have = comps.size();
    Place place;
    while (true) {
        place =
            resolve(root, joinPath(std::vector<std::string>(
                              comps.begin(), comps.begin() + static_cast<std::ptrdiff_t>(have))));
        if (place.exists || have == 0) break;
        --have;
    }
    if (!place.key) return false; // above the hive files: nothing to create keys in
    plan.hive = place.hive;
    plan.existing = place.key;
    plan.missing.assign(comps.begin() + static_cast<std::ptrdiff_t>(have), comps.end());
    return true;
}

RegistryChange Registry::keyChange(Hive& hive, const std::string& keyPath) const {
    RegistryChange c;
    c.kind = RegistryChange::Kind::Key;
    c.hiveFile = hiveId(hive);
    c.keyPath = keyPath;
    c.fullName = fullNameOf(hive, keyPath);
    return c;
}

std::vector<SecretValue> Registry::secretsOf(Hive& hive, Key& key, const std::string& at,
                                             bool all) {
    std::vector<SecretValue> known;
    if (sink_ && !all) known = sink_->sensitiveValuesUnder(hiveId(hive), at);
    std::vector<SecretValue> out;
    addSecrets(key, at, {}, all, known, out);
    return out;
}

RegistryChange Registry::creationChange(const KeyPlan& plan, Key* content) const {
    RegistryChange c = keyChange(*plan.hive, joinWith(plan.existing->path(), plan.missing.front()));
    c.afterTree = chainImage(plan.missing, content);
    return c;
}

void Registry::applyImage(const RegistryChange& change, bool after, std::uint64_t now) {
    Hive* hive = hiveById(change.hiveFile);
    if (!hive)
        throw RegistryAccessError(
            text::trf("Das Journal nennt eine Hive-Datei, die diese Maschine nicht hat: %1",
                      change.hiveFile));
    if (change.kind == RegistryChange::Kind::Value) {
        const auto& image = after ? change.after : change.before;
        Key* key = findInHive(*hive, change.keyPath);
        if (image) {
            if (!key) key = createInHive(*hive, change.keyPath, now);
            key->setValue(change.valueName, image->type, image->data);
            key->markDirty(now);
        } else if (key && key->deleteValue(change.valueName)) {
            key->markDirty(now);
        }
        return;
    }
    const auto& image = after ? change.afterTree : change.beforeTree;
    if (Key* existing = findInHive(*hive, change.keyPath); existing && existing->parent()) {
        Key* parent = existing->parent();
        parent->removeSubkey(existing->name());
        parent->markStructureChanged(now);
    }
    if (image) {
        Key* key = createInHive(*hive, change.keyPath, now);
        restoreTree(*image, *key, now);
        key->markDirty(now);
    }
}

void Registry::commit(std::vector<RegistryChange> changes) {
    if (changes.empty()) return;
    if (!dryRun_ && !machineDir_.empty()) {
        // A read-only hive file is refused before the change is recorded, as Windows
        // refuses to write it.
        std::vector<const Hive*> checked;
        for (const auto& c : changes) {
            const Hive* hive = hiveById(c.hiveFile);
            if (!hive || std::find(checked.begin(), checked.end(), hive) != checked.end()) continue;
            checked.push_back(hive);
            refuseReadOnly(saveTarget(hive->file()));
        }
    }
    // The sink keeps no sensitive data itself; it needs it in memory to roll a transaction
    // back.
    if (sink_) sink_->record(changes);
    const std::uint64_t now = fileTimeNow();
    for (const auto& c : changes)
        applyImage(c, true, now);
    // The journal cannot replay a sensitive value: its hive file is saved before the call
    // returns, or, inside a transaction, at the transaction's end. A dry run changes
    // nothing on disk, a sensitive value included.
    if (dryRun_ || (sink_ && sink_->transactionOpen())) return;
    for (const auto& c : changes) {
        if (!c.sensitive) continue;
        if (Hive* hive = hiveById(c.hiveFile); hive && hive->modified()) {
            hive->save();
            if (sink_) sink_->flushed(c.hiveFile);
        }
    }
}

int Registry::createKey(HKEY root, std::string_view path, RegOptions options) {
    refusal_.clear();
    auto cands = candidates(root, path, options);
    auto& [r, p] = cands[writeTarget(*this, cands)];
    if (resolve(r, p).exists) return ERROR_SUCCESS;
    beginWrite();
    KeyPlan plan;
    if (!planKey(r, p, plan)) return ERROR_ACCESS_DENIED;
    plan.existing->ensureSubkeys();
    if (int rc = checkNames(*plan.hive, plan.existing, plan.missing, nullptr); rc != ERROR_SUCCESS)
        return rc;
    if (int rc = checkDepth(plan); rc != ERROR_SUCCESS) return rc;
    commit({creationChange(plan, nullptr)});
    return ERROR_SUCCESS;
}

int Registry::setValue(HKEY root, std::string_view path, std::string_view name, DWORD type,
                       std::vector<std::uint8_t> data, RegOptions options) {
    refusal_.clear();
    auto cands = candidates(root, path, options);
    auto& [r, p] = cands[writeTarget(*this, cands)];
    beginWrite();
    KeyPlan plan;
    if (!planKey(r, p, plan)) return ERROR_ACCESS_DENIED;
    const std::string valueName(name);
    plan.existing->ensureValues();
    plan.existing->ensureSubkeys();
    if (int rc = checkNames(*plan.hive, plan.missing.empty() ? plan.existing : nullptr,
                            plan.missing, &valueName);
        rc != ERROR_SUCCESS)
        return rc;
    if (!plan.missing.empty() && plan.hive->format() == Hive::Format::NtHive &&
        plan.existing->origin().namesCutAtNul)
        return checkNames(*plan.hive, plan.existing, {}, nullptr);
    if (int rc = checkDepth(plan); rc != ERROR_SUCCESS) return rc;
    if (data.size() > plan.hive->maxValueSize()) {
        refusal_ = text::trf("%1 \"%2\": Der Wert (%3 Bytes) ist zu groß für %4.",
                             fullNameOf(*plan.hive, plan.existing->path()), valueName,
                             std::to_string(data.size()), plan.hive->file());
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<RegistryChange> changes;
    std::string keyPath = plan.existing->path();
    if (!plan.missing.empty()) {
        changes.push_back(creationChange(plan, nullptr));
        for (const auto& m : plan.missing)
            keyPath = joinWith(keyPath, m);
    }
    RegistryChange c;
    c.hiveFile = hiveId(*plan.hive);
    c.keyPath = keyPath;
    c.fullName = fullNameOf(*plan.hive, keyPath);
    c.valueName = std::string(name);
    c.sensitive = options.sensitive() || isSecretValue(keyPath, name);
    if (plan.missing.empty())
        if (const RegistryValue* old = plan.existing->findValue(name)) c.before = *old;
    c.after = RegistryValue{c.before ? c.before->name : std::string(name), type, std::move(data)};
    changes.push_back(std::move(c));
    commit(std::move(changes));
    return ERROR_SUCCESS;
}

int Registry::deleteValue(HKEY root, std::string_view path, std::string_view name,
                          RegOptions options) {
    refusal_.clear();
    for (auto& [r, p] : candidates(root, path, options)) {
        Place place = resolve(r, p);
        if (!place.key) continue;
        const RegistryValue* old = place.key->findValue(name);
        if (!old) continue;
        beginWrite();
        if (int rc = checkNames(*place.hive, place.key, {}, nullptr); rc != ERROR_SUCCESS)
            return rc;
        RegistryChange c;
        c.hiveFile = hiveId(*place.hive);
        c.keyPath = place.key->path();
        c.fullName = fullNameOf(*place.hive, c.keyPath);
        c.valueName = old->name;
        c.before = *old;
        c.sensitive = options.sensitive() || isSecretValue(c.keyPath, c.valueName);
        commit({std::move(c)});
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

int Registry::deleteKey(HKEY root, std::string_view path, RegOptions options) {
    refusal_.clear();
    std::vector<RegistryChange> changes;
    for (auto& [r, p] : candidates(root, path, options)) {
        Place place = resolve(r, p);
        if (!place.exists) continue;
        if (!place.key || !place.key->parent())
            return ERROR_ACCESS_DENIED; // a root or a hive file itself
        RegistryChange c = keyChange(*place.hive, place.key->path());
        c.beforeTree = treeImage(*place.key);
        c.secrets = secretsOf(*place.hive, *place.key, c.keyPath, options.sensitive());
        c.sensitive = !c.secrets.empty();
        changes.push_back(std::move(c));
    }
    if (changes.empty()) return ERROR_FILE_NOT_FOUND;
    beginWrite();
    commit(std::move(changes));
    return ERROR_SUCCESS;
}

bool Registry::copyChanges(HKEY fromRoot, std::string_view fromPath, HKEY toRoot,
                           std::string_view toPath, RegOptions fromOptions, RegOptions toOptions,
                           std::vector<RegistryChange>& changes, int& error) {
    Place from;
    for (auto& [r, p] : candidates(fromRoot, fromPath, fromOptions)) {
        from = resolve(r, p);
        if (from.key) break;
    }
    if (!from.key) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    // A snapshot first, so that copying a key into its own subtree copies what was there.
    MemoryHive snapshot;
    copyTree(*from.key, snapshot.root(), 0);
    // What is secret where it comes from stays secret where it goes.
    std::vector<SecretValue> secrets =
        secretsOf(*from.hive, *from.key, from.key->path(), fromOptions.sensitive());
    auto withSecrets = [&](RegistryChange& c, Hive& hive, Key& content, const std::string& at,
                           const std::string& rel) {
        auto under = [&](const std::string& key) { return key.empty() ? rel : joinWith(rel, key); };
        for (auto& s : secrets)
            c.secrets.push_back({under(s.key), s.name});
        for (auto& s : secretsOf(hive, content, at, toOptions.sensitive()))
            c.secrets.push_back({under(s.key), s.name});
        c.sensitive = !c.secrets.empty();
    };

    auto dst = candidates(toRoot, toPath, toOptions);
    auto& [r, p] = dst[writeTarget(*this, dst)];
    Place to = resolve(r, p);
    if (to.key) {
        if (!to.key->parent()) {
            error = ERROR_ACCESS_DENIED;
            return false;
        }
        MemoryHive merged;
        copyTree(*to.key, merged.root(), 0);
        copyTree(snapshot.root(), merged.root(), 0);
        RegistryChange c = keyChange(*to.hive, to.key->path());
        c.beforeTree = treeImage(*to.key);
        c.afterTree = treeImage(merged.root());
        withSecrets(c, *to.hive, merged.root(), c.keyPath, {});
        changes.push_back(std::move(c));
        return true;
    }
    KeyPlan plan;
    if (to.exists || !planKey(r, p, plan)) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    RegistryChange c = creationChange(plan, &snapshot.root());
    std::string at = plan.existing->path(), rel;
    for (std::size_t i = 0; i < plan.missing.size(); ++i) {
        at = joinWith(at, plan.missing[i]);
        if (i > 0) rel = joinWith(rel, plan.missing[i]);
    }
    withSecrets(c, *plan.hive, snapshot.root(), at, rel);
    changes.push_back(std::move(c));
    return true;
}

int Registry::copyKey(HKEY fromRoot, std::string_view fromPath, HKEY toRoot,
                      std::string_view toPath, RegOptions fromOptions, RegOptions toOptions) {
    refusal_.clear();
    std::vector<RegistryChange> changes;
    int error = 0;
    if (!copyChanges(fromRoot, fromPath, toRoot, toPath, fromOptions, toOptions, changes, error))
        return error;
    beginWrite();
    commit(std::move(changes));
    return ERROR_SUCCESS;
}

int Registry::moveKey(HKEY fromRoot, std::string_view fromPath, HKEY toRoot,
                      std::string_view toPath, RegOptions fromOptions, RegOptions toOptions) {
    refusal_.clear();
    // Moving a key into its own subtree would delete what was just copied.
    auto src = candidates(fromRoot, fromPath, fromOptions);
    auto dst = candidates(toRoot, toPath, toOptions);
    Place source;
    for (auto& [sr, sp] : src) {
        Place s = resolve(sr, sp);
        if (!s.key) continue;
        if (!source.key) source = s;
        for (auto& [dr, dp] : dst) {
            auto comps = splitPath(dp);
            for (std::size_t n = comps.size(); n > 0; --n) {
                Place d = resolve(
                    dr, joinPath(std::vector<std::string>(
                            comps.begin(), comps.begin() + static_cast<std::ptrdiff_t>(n))));
                if (d.key == s.key) return ERROR_INVALID_PARAMETER;
            }
        }
    }
    if (!source.key) return ERROR_FILE_NOT_FOUND;
    if (!source.key->parent()) return ERROR_ACCESS_DENIED;
    std::vector<RegistryChange> changes;
    int error = 0;
    if (!copyChanges(fromRoot, fromPath, toRoot, toPath, fromOptions, toOptions, changes, error))
        return error;
    RegistryChange removal = keyChange(*source.hive, source.key->path());
    removal.beforeTree = treeImage(*source.key);
    removal.secrets =
        secretsOf(*source.hive, *source.key, removal.keyPath, fromOptions.sensitive());
    removal.sensitive = !removal.secrets.empty();
    changes.push_back(std::move(removal));
    beginWrite();
    commit(std::move(changes));
    return ERROR_SUCCESS;
}

std::optional<RegistryValue> Registry::currentValue(const RegistryChange& at) {
    Hive* hive = hiveById(at.hiveFile);
    Key* key = hive ? findInHive(*hive, at.keyPath) : nullptr;
    const RegistryValue* v = key ? key->findValue(at.valueName) : nullptr;
    if (!v) return std::nullopt;
    return *v;
}

std::optional<std::string> Registry::currentTree(const RegistryChange& at) {
    Hive* hive = hiveById(at.hiveFile);
    Key* key = hive ? findInHive(*hive, at.keyPath) : nullptr;
    if (!key) return std::nullopt;
    return treeImage(*key);
}

int Registry::createLinkKey(HKEY root, std::string_view path, const std::string& target) {
    KeyPlan plan;
    if (!planKey(root, std::string(path), plan)) return ERROR_ACCESS_DENIED;
    beginWrite();
    const std::uint64_t now = fileTimeNow();
    std::string keyPath = plan.existing->path();
    for (const auto& m : plan.missing)
        keyPath = joinWith(keyPath, m);
    Key* key = createInHive(*plan.hive, keyPath, now);
    key->setLink(true);
    key->setValue("SymbolicLinkValue", REG_LINK, text::utf16ToBytes(text::utf8ToUtf16(target)));
    key->markDirty(now);
    return ERROR_SUCCESS;
}

void Registry::replay(const std::vector<RegistryChange>& changes) {
    const std::uint64_t now = fileTimeNow();
    for (const auto& c : changes)
        applyImage(c, true, now);
}

void Registry::replayBefore(const std::vector<RegistryChange>& changes) {
    const std::uint64_t now = fileTimeNow();
    for (const auto& c : changes)
        applyImage(c, false, now);
}

std::vector<RegistryChange> Registry::restore(const std::vector<RegistryChange>& changes,
                                              bool toBefore) {
    std::vector<RegistryChange> out;
    out.reserve(changes.size());
    auto add = [&](const RegistryChange& c) {
        RegistryChange n = c;
        if (c.kind == RegistryChange::Kind::Value) {
            n.before = currentValue(c);
            n.after = toBefore ? c.before : c.after;
        } else {
            n.beforeTree = currentTree(c);
            n.afterTree = toBefore ? c.beforeTree : c.afterTree;
            // What is secret in the key now and in the image it gets (which the sink knows
            // from the changes that wrote or took along the secrets).
            n.secrets.clear();
            Hive* hive = hiveById(c.hiveFile);
            if (Key* key = hive ? findInHive(*hive, c.keyPath) : nullptr)
                n.secrets = secretsOf(*hive, *key, c.keyPath, false);
            if (hive && n.afterTree) {
                MemoryHive image;
                restoreTree(*n.afterTree, image.root(), 0);
                for (auto& s : secretsOf(*hive, image.root(), c.keyPath, false))
                    n.secrets.push_back(std::move(s));
            }
            n.sensitive = !n.secrets.empty();
        }
        out.push_back(std::move(n));
    };
    if (toBefore)
        for (auto it = changes.rbegin(); it != changes.rend(); ++it)
            add(*it);
    else
        for (const auto& c : changes)
            add(c);
    beginWrite();
    commit(out);
    return out;
}

void Registry::flush() {
    if (dryRun_ || (sink_ && sink_->holdsBackFiles())) return;
    for (auto& m : mounts_) {
        if (!m.hive->modified()) continue;
        beginWrite(); // for replayed changes, say
        m.hive->save();
        if (sink_) sink_->flushed(hiveId(*m.hive));
    }
    if (releaseAfterFlush_ && !modified() && !(sink_ && sink_->transactionOpen())) {
        lock_.reset();
        writeChecked_ = false;
    }
}

bool Registry::modified() const {
    return std::any_of(mounts_.begin(), mounts_.end(),
                       [](const Mount& m) { return m.hive->modified(); });
}

std::vector<Hive*> Registry::hives() {
    std::vector<Hive*> out;
    for (auto& m : mounts_)
        out.push_back(m.hive.get());
    return out;
}

bool Registry::parseRoot(std::string_view name, HKEY& root) {
    struct Entry {
        std::string_view shortName, longName;
        HKEY key;
    };
    static constexpr Entry kRoots[] = {
        {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKU", "HKEY_USERS", HKEY_USERS},
        {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    for (const auto& e : kRoots)
        if (ieq(name, e.shortName) || ieq(name, e.longName)) {
            root = e.key;
            return true;
        }
    return false;
}

const char* Registry::rootName(HKEY root) {
    switch (root) {
    case HKEY_LOCAL_MACHINE:
        return "HKEY_LOCAL_MACHINE";
    case HKEY_CURRENT_USER:
        return "HKEY_CURRENT_USER";
    case HKEY_CLASSES_ROOT:
        return "HKEY_CLASSES_ROOT";
    case HKEY_USERS:
        return "HKEY_USERS";
    case HKEY_CURRENT_CONFIG:
        return "HKEY_CURRENT_CONFIG";
    default:
        return "";
    }
}

bool Registry::splitKeyName(std::string_view full, HKEY& root, std::string& path) {
    std::size_t sep = full.find('\\');
    std::string_view head = full.substr(0, sep);
    if (!parseRoot(head, root)) return false;
    path = sep == std::string_view::npos ? std::string() : std::string(full.substr(sep + 1));
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return true;
}

} // namespace ravelin::registry
