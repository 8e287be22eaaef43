#include "host/machine/Machine.h"

#include "host/machine/ProfileFile.h"
#include "host/registry/FileUtil.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <dirent.h>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

namespace ravelin::machine {

namespace T = ravelin::text;

namespace {

constexpr const char* kNtVersionKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* k9xVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool isFile(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
bool isDir(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                out.emplace_back(e->d_name);
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string readString(registry::Registry& reg, HKEY root, const std::string& key,
                       const std::string& name, RegOptions options = {}) {
    RegistryValue v;
    if (reg.getValue(root, key, name, v, options) != ERROR_SUCCESS) return {};
    if (v.type != REG_SZ && v.type != REG_EXPAND_SZ) return {};
    return stringFromData(v.data);
}

bool readDword(registry::Registry& reg, HKEY root, const std::string& key, const std::string& name,
               DWORD& out, RegOptions options = {}) {
    RegistryValue v;
    if (reg.getValue(root, key, name, v, options) != ERROR_SUCCESS || v.data.size() != 4)
        return false;
    out = static_cast<DWORD>(v.data[0] | v.data[1] << 8 | v.data[2] << 16 |
                             static_cast<DWORD>(v.data[3]) << 24);
    return true;
}

int firstNumber(const std::string& s) {
    std::size_t i = s.find_first_of("0123456789");
    return i == std::string::npos ? 0 : std::atoi(s.c_str() + i);
}

// Finds a line number for a byte offset, for messages about machine.json.
unsigned lineOf(const std::string& text, std::size_t byte) {
    return 1 + static_cast<unsigned>(std::count(
                   text.begin(),
                   text.begin() + static_cast<std::ptrdiff_t>(std::min(byte, text.size())), '\n'));
}

} // namespace

std::string TFileVersionIdentification::text() const {
    if (!Major && !Minor && !Release && !Build) return {};
    std::string s = std::to_string(Major) + "." + std::to_string(Minor);
    if (Release || Build) s += "." + std::to_string(Release);
    if (Build) s += "." + std::to_string(Build);
    return s;
}

TFileVersionIdentification parseVersion(const std::string& text) {
    TFileVersionIdentification v;
    std::uint16_t* parts[] = {&v.Major, &v.Minor, &v.Release, &v.Build};
    std::size_t pos = 0;
    for (auto* p : parts) {
        if (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos]))) break;
        unsigned n = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])))
            n = n * 10 + static_cast<unsigned>(text[pos++] - '0');
        *p = static_cast<std::uint16_t>(std::min(n, 65535u));
        if (pos < text.size() && text[pos] == '.')
            ++pos;
        else
            break;
    }
    return v;
}

int osCodeFor(int platform, int major, int minor) {
    if (platform == 1) {
        if (major == 4 && minor >= 90) return 4;
        if (major == 4 && minor >= 10) return 3;
        return 1;
    }
    if (major <= 4) return 2;
    if (major == 5) return minor == 0 ? 5 : 6;
    if (major == 6) return minor == 0 ? 7 : minor == 1 ? 8 : minor == 2 ? 9 : 10;
    return 11;
}

Machine::Machine(std::string root, MachineKind kind, std::unique_ptr<registry::Registry> reg)
    : root_(std::move(root)), kind_(kind), registry_(std::move(reg)),
      files_(root_, kind_ == MachineKind::Wine) {}

std::unique_ptr<Machine> Machine::open(const std::string& dir) {
    std::string root = dir;
    if (!root.empty() && root[0] != '/') root = (std::filesystem::current_path() / root).string();
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    // machine.json first: it names the user whose hive is HKEY_CURRENT_USER.
    MachineConfig config;
    std::string configFile = root + "/machine.json";
    std::string preferredUser;
    if (isFile(configFile)) {
        std::string text = registry::readWholeFile(configFile);
        nlohmann::json j;
        try {
            j = nlohmann::json::parse(text);
        } catch (const nlohmann::json::parse_error& e) {
            throw RegistryFormatError(configFile, lineOf(text, e.byte),
                                      T::tr("Das ist kein gültiges JSON."));
        }
        auto fail = [&](const std::string& what) {
            throw RegistryFormatError(configFile, 0, what);
        };
        if (!j.is_object()) fail(T::tr("Die Datei muss genau ein JSON-Objekt enthalten."));
        for (auto it = j.begin(); it != j.end(); ++it) {
            const std::string& k = it.key();
            const auto& v = it.value();
            if (k == "user") {
                if (!v.is_string()) fail(T::tr("\"user\" muss eine Zeichenkette sein."));
                config.user = v.get<std::string>();
            } else if (k == "admin") {
                if (!v.is_boolean()) fail(T::tr("\"admin\" muss true oder false sein."));
                config.admin = v.get<bool>();
            } else if (k == "wow64") {
                if (!v.is_boolean()) fail(T::tr("\"wow64\" muss true oder false sein."));
                config.wow64 = v.get<bool>();
            } else if (k == "accounts") {
                if (!v.is_array()) fail(T::tr("\"accounts\" muss eine Liste sein."));
                for (const auto& a : v) {
                    if (!a.is_object() || !a.contains("name") || !a["name"].is_string())
                        fail(T::tr("Jedes Konto braucht einen \"name\"."));
                    std::string privilege = a.value("privilege", "user");
                    if (privilege != "user" && privilege != "admin" && privilege != "guest")
                        fail(T::trf("Konto \"%1\": Die Berechtigung muss user, admin oder guest "
                                    "sein.",
                                    a["name"].get<std::string>()));
                    config.accounts.push_back({a["name"].get<std::string>(), privilege});
                }
            } else if (k == "services") {
                if (!v.is_object())
                    fail(T::tr("\"services\" muss Dienstnamen \"running\" oder \"stopped\" "
                               "zuordnen."));
                for (auto s = v.begin(); s != v.end(); ++s) {
                    if (!s.value().is_string() ||
                        (s.value() != "running" && s.value() != "stopped"))
                        fail(T::trf("Dienst \"%1\": Der Zustand muss \"running\" oder "
                                    "\"stopped\" sein.",
                                    s.key()));
                    config.services[s.key()] = s.value().get<std::string>();
                }
            } else {
                fail(T::trf("Unbekannte Einstellung \"%1\"", k));
            }
        }
        preferredUser = config.user;
    }
    MachineKind kind = isFile(root + "/system.reg") ? MachineKind::Wine : MachineKind::Windows;
    auto reg = registry::Registry::openMachine(root, preferredUser);
    std::unique_ptr<Machine> m(new Machine(root, kind, std::move(reg)));
    m->config_ = std::move(config);
    m->loadConfig();
    return m;
}

void Machine::loadConfig() {
    if (config_.user.empty()) {
        // The prefix's own user folder (Wine names it after the Unix user), or the first
        // profile of a Windows drive.
        std::string users =
            kind_ == MachineKind::Wine ? root_ + "/drive_c/users" : files_.hostPath("C:\\Users");
        if (!isDir(users)) users = files_.hostPath("C:\\Documents and Settings");
        for (const auto& n : listDir(users)) {
            if (text::namesEqual(n, "Public") || text::namesEqual(n, "Default") ||
                text::namesEqual(n, "Default User") || text::namesEqual(n, "All Users") ||
                text::namesEqual(n, "LocalService") || text::namesEqual(n, "NetworkService"))
                continue;
            if (isDir(users + "/" + n)) {
                config_.user = n;
                break;
            }
        }
    }
    if (config_.accounts.empty())
        config_.accounts.push_back({config_.user, config_.admin ? "admin" : "user"});
    registry_->setEmulatesWow64(config_.wow64);
}

std::string Machine::configJson() const {
    nlohmann::ordered_json j;
    j["user"] = config_.user;
    j["admin"] = config_.admin;
    j["wow64"] = config_.wow64;
    j["accounts"] = nlohmann::ordered_json::array();
    for (const auto& a : config_.accounts)
        j["accounts"].push_back({{"name", a.name}, {"privilege", a.privilege}});
    j["services"] = nlohmann::ordered_json::object();
    for (const auto& [name, state] : config_.services)
        j["services"][name] = state;
    return j.dump(2) + "\n";
}

void Machine::saveConfig() {
    std::string path = root_ + "/machine.json";
    files_.requireWritable(path);
    registry::writeFileAtomically(path, configJson());
}

WindowsIdentity Machine::identity() {
    WindowsIdentity id;
    auto& reg = *registry_;
    id.is64 = reg.is64Bit();
    std::string nt = readString(reg, HKEY_LOCAL_MACHINE, kNtVersionKey, "CurrentVersion", {2});
    if (!nt.empty()) {
        id.platform = 2;
        id.version = nt;
        int major = firstNumber(nt);
        int minor =
            nt.find('.') != std::string::npos ? std::atoi(nt.c_str() + nt.find('.') + 1) : 0;
        DWORD v = 0;
        if (readDword(reg, HKEY_LOCAL_MACHINE, kNtVersionKey, "CurrentMajorVersionNumber", v,
                      {2})) {
            major = static_cast<int>(v);
            DWORD mn = 0;
            readDword(reg, HKEY_LOCAL_MACHINE, kNtVersionKey, "CurrentMinorVersionNumber", mn, {2});
            minor = static_cast<int>(mn);
            id.version = std::to_string(major) + "." + std::to_string(minor);
        }
        id.osCode = osCodeFor(2, major, minor);
        id.build = readString(reg, HKEY_LOCAL_MACHINE, kNtVersionKey, "CurrentBuildNumber", {2});
        id.productName = readString(reg, HKEY_LOCAL_MACHINE, kNtVersionKey, "ProductName", {2});
        id.servicePack =
            firstNumber(readString(reg, HKEY_LOCAL_MACHINE, kNtVersionKey, "CSDVersion", {2}));
    } else {
        id.platform = 1;
        std::string v9x = readString(reg, HKEY_LOCAL_MACHINE, k9xVersionKey, "VersionNumber", {2});
        id.version = v9x;
        TFileVersionIdentification fv = parseVersion(v9x);
        id.osCode = osCodeFor(1, fv.Major ? fv.Major : 4, fv.Minor);
        id.build = std::to_string(fv.Release);
        id.productName = readString(reg, HKEY_LOCAL_MACHINE, k9xVersionKey, "ProductName", {2});
    }
    // The suite mask of the extended version information, from where Windows keeps it.
    RegistryValue suites;
    if (reg.getValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                     "ProductSuite", suites, {2}) == ERROR_SUCCESS &&
        suites.type == REG_MULTI_SZ) {
        static const std::pair<const char*, std::uint32_t> kSuites[] = {
            {"Small Business", 0x0001},
            {"Enterprise", 0x0002},
            {"BackOffice", 0x0004},
            {"Terminal Server", 0x0010},
            {"Small Business(Restricted)", 0x0020},
            {"EmbeddedNT", 0x0040},
            {"DataCenter", 0x0080},
            {"Personal", 0x0200},
            {"Blade", 0x0400}};
        for (const auto& item : multiStringFromData(suites.data))
            for (const auto& [name, bit] : kSuites)
                if (text::namesEqual(item, name)) id.suiteMask |= bit;
    }
    std::string editionId = readString(reg, HKEY_LOCAL_MACHINE, kNtVersionKey, "EditionID", {2});
    if (editionId.rfind("Home", 0) == 0 || editionId.rfind("Starter", 0) == 0)
        id.suiteMask |= 0x0200;
    if (!editionId.empty()) {
        id.edition = editionId;
    } else if (id.platform == 2) {
        std::string type =
            readString(reg, HKEY_LOCAL_MACHINE,
                       "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType", {2});
        if (text::namesEqual(type, "ServerNT") || text::namesEqual(type, "LanmanNT"))
            id.edition = "Server";
        else
            id.edition = (id.suiteMask & 0x0200) ? "Home Edition" : "Professional";
    }
    return id;
}

TFileVersionIdentification Machine::ieVersion() {
    std::string v = readString(*registry_, HKEY_LOCAL_MACHINE,
                               "Software\\Microsoft\\Internet Explorer", "svcVersion", {2});
    if (v.empty())
        v = readString(*registry_, HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer",
                       "Version", {2});
    return parseVersion(v);
}

TFileVersionIdentification Machine::firefoxVersion() {
    for (RegOptions view : {RegOptions{2}, RegOptions{1}}) {
        std::string v = readString(*registry_, HKEY_LOCAL_MACHINE,
                                   "Software\\Mozilla\\Mozilla Firefox", "CurrentVersion", view);
        if (!v.empty()) return parseVersion(v);
    }
    return {};
}

TFileVersionIdentification Machine::operaVersion() {
    const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    for (RegOptions view : {RegOptions{2}, RegOptions{1}}) {
        std::vector<std::string> keys;
        registry_->enumKeys(HKEY_LOCAL_MACHINE, uninstall, keys, view);
        for (const auto& k : keys) {
            std::string name = readString(*registry_, HKEY_LOCAL_MACHINE, uninstall + "\\" + k,
                                          "DisplayName", view);
            if (name.rfind("Opera", 0) == 0)
                return parseVersion(readString(*registry_, HKEY_LOCAL_MACHINE, uninstall + "\\" + k,
                                               "DisplayVersion", view));
        }
    }
    return {};
}

TFileVersionIdentification Machine::outlookVersion() {
    TFileVersionIdentification best;
    for (RegOptions view : {RegOptions{2}, RegOptions{1}}) {
        std::vector<std::string> versions;
        registry_->enumKeys(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Office", versions, view);
        for (const auto& v : versions) {
            if (!registry_->keyExists(
                    HKEY_LOCAL_MACHINE,
                    "Software\\Microsoft\\Office\\" + v + "\\Outlook\\InstallRoot", view))
                continue;
            TFileVersionIdentification fv = parseVersion(v);
            if (fv.Major > best.Major) best = fv;
        }
    }
    return best;
}

std::string Machine::windowsDir() {
    std::string dir = readString(*registry_, HKEY_LOCAL_MACHINE, kNtVersionKey, "SystemRoot", {2});
    if (dir.empty())
        dir = readString(*registry_, HKEY_LOCAL_MACHINE, k9xVersionKey, "SystemRoot", {2});
    if (dir.empty()) dir = kind_ == MachineKind::Wine ? "C:\\windows" : "C:\\WINDOWS";
    while (dir.size() > 3 && dir.back() == '\\')
        dir.pop_back();
    return dir;
}

std::string Machine::systemDir() {
    return windowsDir() + (identity().platform == 1 ? "\\SYSTEM" : "\\system32");
}

std::string Machine::userProfileFolder() {
    if (kind_ == MachineKind::Wine) return "C:\\users\\" + config_.user;
    if (files_.dirExists("C:\\Users\\" + config_.user)) return "C:\\Users\\" + config_.user;
    return "C:\\Documents and Settings\\" + config_.user;
}

std::string Machine::shellFolder(int csidl) {
    struct Folder {
        int csidl;
        const char* value;
        const char* fallback; // below the user's profile folder
    };
    static constexpr Folder kUser[] = {
        {2, "Programs", "Start Menu\\Programs"},
        {5, "Personal", "Documents"},
        {6, "Favorites", "Favorites"},
        {7, "Startup", "Start Menu\\Programs\\Startup"},
        {8, "Recent", "Recent"},
        {9, "SendTo", "SendTo"},
        {11, "Start Menu", "Start Menu"},
        {13, "My Music", "Music"},
        {16, "Desktop", "Desktop"},
        {19, "NetHood", "NetHood"},
        {21, "Templates", "Templates"},
        {26, "AppData", "Application Data"},
        {27, "PrintHood", "PrintHood"},
        {28, "Local AppData", "Local Settings\\Application Data"},
        {32, "Cache", "Local Settings\\Temporary Internet Files"},
        {33, "Cookies", "Cookies"},
        {34, "History", "Local Settings\\History"},
        {39, "My Pictures", "Pictures"},
    };
    switch (csidl) {
    case 20:
        return windowsDir() + "\\Fonts";
    case 36:
        return windowsDir();
    case 37:
        return systemDir();
    case 38: {
        std::string p =
            readString(*registry_, HKEY_LOCAL_MACHINE, k9xVersionKey, "ProgramFilesDir", {});
        return p.empty() ? "C:\\Program Files" : p;
    }
    case 35: {
        std::string p =
            readString(*registry_, HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData", {2});
        return p.empty() ? "C:\\ProgramData" : p;
    }
    default:
        break;
    }
    for (const auto& f : kUser) {
        if (f.csidl != csidl) continue;
        std::string p = readString(*registry_, HKEY_CURRENT_USER, kShellFolders, f.value, {2});
        if (!p.empty()) return p;
        return userProfileFolder() + "\\" + f.fallback;
    }
    return {};
}

std::vector<std::string> Machine::firefoxProfiles() {
    std::vector<std::string> out;
    std::string base = files_.hostPath(shellFolder(26) + "\\Mozilla\\Firefox");
    ProfileFile ini;
    if (base.empty() || !ProfileFile::load(base + "/profiles.ini", ini)) return out;
    for (const auto& section : ini.sections()) {
        if (section.rfind("Profile", 0) != 0) continue;
        std::string path = ini.get(section, "Path", "");
        if (path.empty()) continue;
        std::string host;
        if (ini.get(section, "IsRelative", "1") == "1") {
            for (auto& c : path)
                if (c == '\\') c = '/';
            host = base + "/" + path;
        } else {
            host = files_.hostPath(path);
        }
        if (isDir(host)) out.push_back(host);
    }
    return out;
}

std::string Machine::operaProfile() {
    std::string base = files_.hostPath(shellFolder(26) + "\\Opera\\Opera");
    if (base.empty()) return {};
    if (isFile(base + "/operaprefs.ini")) return base;
    if (isFile(base + "/profile/opera6.ini")) return base + "/profile";
    return {};
}

bool Machine::serviceExists(const std::string& name) {
    return registry_->keyExists(HKEY_LOCAL_MACHINE, kServicesKey + name, {2});
}

int Machine::serviceStartType(const std::string& name) {
    DWORD start = 0;
    if (!readDword(*registry_, HKEY_LOCAL_MACHINE, kServicesKey + name, "Start", start, {2}))
        return 0;
    switch (start) {
    case 0:
    case 1:
    case 2:
        return 2;
    case 3:
        return 3;
    case 4:
        return 1;
    default:
        return 0;
    }
}

int Machine::serviceState(const std::string& name) {
    if (!serviceExists(name)) return 0;
    for (const auto& [n, state] : config_.services)
        if (text::namesEqual(n, name)) return state == "running" ? 4 : 1;
    // Without a record: a service that starts automatically runs.
    return serviceStartType(name) == 2 ? 4 : 1;
}

bool Machine::configureService(const std::string& name, int startType, int action) {
    if (!serviceExists(name)) return false;
    if (startType >= 1 && startType <= 3) {
        static constexpr DWORD kWindowsStart[] = {0, 4, 2, 3};
        if (registry_->setValue(HKEY_LOCAL_MACHINE, kServicesKey + name, "Start", REG_DWORD,
                                makeDwordData(kWindowsStart[startType]), {2}) != ERROR_SUCCESS)
            return false;
    }
    if (action == 1 || action == 2) {
        std::string key = name;
        for (const auto& [n, state] : config_.services)
            if (text::namesEqual(n, name)) key = n;
        config_.services[key] = action == 1 ? "running" : "stopped";
    }
    return true;
}

std::vector<std::string> Machine::dependentServices(const std::string& name) {
    std::vector<std::string> out;
    std::vector<std::string> services;
    registry_->enumKeys(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", services, {2});
    for (const auto& s : services) {
        RegistryValue v;
        if (registry_->getValue(HKEY_LOCAL_MACHINE, kServicesKey + s, "DependOnService", v, {2}) !=
            ERROR_SUCCESS)
            continue;
        for (const auto& dep : multiStringFromData(v.data))
            if (text::namesEqual(dep, name)) {
                out.push_back(s);
                break;
            }
    }
    return out;
}

bool Machine::emulatesWow64() {
    return config_.wow64 && registry_->is64Bit();
}

std::string Machine::resolve(const std::string& windowsPath) {
    std::string path = windowsPath;
    if (emulatesWow64() && redirection_) {
        // System32 of a 32-bit process is SysWOW64; "Sysnative" reaches the real one.
        std::string system32 = windowsDir() + "\\system32";
        if (path.size() >= system32.size() &&
            text::namesEqual(std::string_view(path).substr(0, system32.size()), system32) &&
            (path.size() == system32.size() || path[system32.size()] == '\\'))
            path = windowsDir() + "\\SysWOW64" + path.substr(system32.size());
    }
    std::string sysnative = windowsDir() + "\\Sysnative";
    if (path.size() >= sysnative.size() &&
        text::namesEqual(std::string_view(path).substr(0, sysnative.size()), sysnative))
        path = windowsDir() + "\\system32" + path.substr(sysnative.size());
    return files_.hostPath(path);
}

} // namespace ravelin::machine
