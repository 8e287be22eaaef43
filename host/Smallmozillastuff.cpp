#include "host/Smallmozillastuff.h"

#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/machine/Machine.h"
#include "host/machine/ProfileFile.h"
#include "host/registry/FileUtil.h"
#include "host/registry/Types.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace ravelin {

namespace {

std::string gExternalRoot;  // the root a front end chose; "" for the machine's
std::string gInstallDir;    // the installation a front end or a test chose; "" to find it
std::string gProfileChoice; // the profile a front end chose; "" for Firefox's own choice

std::string withSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    return dir;
}

std::string forwardSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A profile path as written in the ini files, made comparable: forward slashes, no
// trailing slash, no "./".
std::string normalised(std::string p) {
    p = forwardSlashes(std::move(p));
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    while (p.rfind("./", 0) == 0)
        p.erase(0, 2);
    return p;
}

bool isAbsolute(const std::string& path) {
    return (!path.empty() && path[0] == '/') ||
           (path.size() > 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':');
}

// The host path of an absolute Path=: Windows paths through the machine.
std::string hostPathOf(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    if (machine::Machine* m = CurrentMachine()) return m->files().hostPath(path);
    return {};
}

bool pidRunning(long pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string readOrEmpty(const std::string& path) {
    try {
        return registry::readWholeFile(path);
    } catch (const RegistryAccessError&) {
        return {};
    }
}

std::string canonicalOr(const std::string& path) {
    std::error_code ec;
    auto c = std::filesystem::canonical(path, ec);
    return ec ? path : c.string();
}

// ---- the installation key ----

using u64 = std::uint64_t;
constexpr u64 kK0 = 0xc3a5c85c97cb3127ULL;
constexpr u64 kK1 = 0xb492b66fbe98f273ULL;
constexpr u64 kK2 = 0x9ae16a3b2f90404fULL;
constexpr u64 kK3 = 0xc949d7c7509e6557ULL;

u64 fetch64(const unsigned char* p) {
    u64 v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
u64 fetch32(const unsigned char* p) {
    return u64{p[0]} | u64{p[1]} << 8 | u64{p[2]} << 16 | u64{p[3]} << 24;
}
u64 rotate(u64 v, int shift) {
    return shift == 0 ? v : (v >> shift) | (v << (64 - shift));
}
u64 shiftMix(u64 v) {
    return v ^ (v >> 47);
}
u64 hashLen16(u64 u, u64 v) {
    constexpr u64 kMul = 0x9ddfea08eb382d69ULL;
    u64 a = (u ^ v) * kMul;
    a ^= a >> 47;
    u64 b = (v ^ a) * kMul;
    b ^= b >> 47;
    return b * kMul;
}

u64 hashLen0to16(const unsigned char* s, std::size_t len) {
    if (len > 8) {
        u64 a = fetch64(s);
        u64 b = fetch64(s + len - 8);
        // The shift is at least 1 here.
        return hashLen16(a, rotate(b + len, static_cast<int>(len))) ^ b;
    }
    if (len >= 4) {
        u64 a = fetch32(s);
        return hashLen16(len + (a << 3), fetch32(s + len - 4));
    }
    if (len > 0) {
        const std::uint32_t y = std::uint32_t{s[0]} + (std::uint32_t{s[len >> 1]} << 8);
        const std::uint32_t z = static_cast<std::uint32_t>(len) + (std::uint32_t{s[len - 1]} << 2);
        return shiftMix(y * kK2 ^ z * kK3) * kK2;
    }
    return kK2;
}

u64 hashLen17to32(const unsigned char* s, std::size_t len) {
    u64 a = fetch64(s) * kK1;
    u64 b = fetch64(s + 8);
    u64 c = fetch64(s + len - 8) * kK2;
    u64 d = fetch64(s + len - 16) * kK0;
    return hashLen16(rotate(a - b, 43) + rotate(c, 30) + d, a + rotate(b ^ kK3, 20) - c + len);
}

u64 hashLen33to64(const unsigned char* s, std::size_t len) {
    u64 z = fetch64(s + 24);
    u64 a = fetch64(s) + (len + fetch64(s + len - 16)) * kK0;
    u64 b = rotate(a + z, 52);
    u64 c = rotate(a, 37);
    a += fetch64(s + 8);
    c += rotate(a, 7);
    a += fetch64(s + 16);
    const u64 vf = a + z;
    const u64 vs = b + rotate(a, 31) + c;
    a = fetch64(s + 16) + fetch64(s + len - 32);
    z = fetch64(s + len - 8);
    b = rotate(a + z, 52);
    c = rotate(a, 37);
    a += fetch64(s + len - 24);
    c += rotate(a, 7);
    a += fetch64(s + len - 16);
    const u64 wf = a + z;
    const u64 ws = b + rotate(a, 31) + c;
    const u64 r = shiftMix((vf + ws) * kK2 + (wf + vs) * kK0);
    return shiftMix(r * kK0 + vs) * kK2;
}

std::pair<u64, u64> weakHashLen32WithSeeds(const unsigned char* s, u64 a, u64 b) {
    const u64 w = fetch64(s), x = fetch64(s + 8), y = fetch64(s + 16), z = fetch64(s + 24);
    a += w;
    b = rotate(b + a + z, 21);
    const u64 c = a;
    a += x;
    a += y;
    b += rotate(a, 44);
    return {a + z, b + c};
}

} // namespace

std::uint64_t FirefoxCityHash64(const void* data, std::size_t len) {
    const auto* s = static_cast<const unsigned char*>(data);
    if (len <= 32) return len <= 16 ? hashLen0to16(s, len) : hashLen17to32(s, len);
    if (len <= 64) return hashLen33to64(s, len);
    // Longer input: the end first, then 64-byte chunks with 56 bytes of state.
    u64 x = fetch64(s);
    u64 y = fetch64(s + len - 16) ^ kK1;
    u64 z = fetch64(s + len - 56) ^ kK0;
    auto v = weakHashLen32WithSeeds(s + len - 64, len, y);
    auto w = weakHashLen32WithSeeds(s + len - 32, len * kK1, kK0);
    z += shiftMix(v.second) * kK1;
    x = rotate(z + x, 39) * kK1;
    y = rotate(y, 33) * kK1;
    len = (len - 1) & ~static_cast<std::size_t>(63);
    do {
        x = rotate(x + y + v.first + fetch64(s + 16), 37) * kK1;
        y = rotate(y + v.second + fetch64(s + 48), 42) * kK1;
        x ^= w.second;
        y ^= v.first;
        z = rotate(z ^ w.first, 33);
        v = weakHashLen32WithSeeds(s, v.second * kK1, x + w.first);
        w = weakHashLen32WithSeeds(s + 32, z + w.second, y);
        std::swap(z, x);
        s += 64;
        len -= 64;
    } while (len != 0);
    return hashLen16(hashLen16(v.first, w.first) + shiftMix(y) * kK1 + z,
                     hashLen16(v.second, w.second) + x);
}

std::string FirefoxInstallHash(const std::string& installDir) {
    std::string dir = installDir;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\'))
        dir.pop_back();
    std::string utf16;
    for (char16_t unit : text::utf8ToUtf16(dir)) {
        utf16.push_back(static_cast<char>(unit & 0xFF));
        utf16.push_back(static_cast<char>(unit >> 8));
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llX",
                  static_cast<unsigned long long>(FirefoxCityHash64(utf16.data(), utf16.size())));
    return out;
}

void SetFirefoxInstallDir(const std::string& dir) {
    gInstallDir = dir;
}

const std::string& FirefoxInstallDirChoice() {
    return gInstallDir;
}

std::vector<FirefoxInstallation> FirefoxInstallations() {
    std::vector<FirefoxInstallation> out;
    auto add = [&](const std::string& dir, const std::string& keyPath, bool preferred) {
        for (const auto& i : out)
            if (i.dir == dir) return;
        out.push_back({dir, FirefoxInstallHash(keyPath), preferred});
    };
    if (!gInstallDir.empty()) {
        add(gInstallDir, gInstallDir, true);
        return out;
    }
    if (gExternalRoot.empty()) {
        // The machine's Firefox keys its folder as Windows spells it.
        machine::Machine* m = CurrentMachine();
        if (!m) return out;
        for (RegOptions view : {RegOptions{2}, RegOptions{1}}) {
            const std::string version =
                GetRegStringValueDef(HKEY_LOCAL_MACHINE, "Software\\Mozilla\\Mozilla Firefox",
                                     "CurrentVersion", "", view);
            if (version.empty()) continue;
            const std::string dir = GetRegStringValueDef(
                HKEY_LOCAL_MACHINE, "Software\\Mozilla\\Mozilla Firefox\\" + version + "\\Main",
                "Install Directory", "", view);
            if (!dir.empty()) add(m->files().hostPath(dir), dir, true);
            break;
        }
        return out;
    }
    // This computer: the Firefox a user starts from the command line first (its links
    // resolved, as Firefox keys the folder it really runs from), then the usual places.
    auto isInstallation = [](const std::string& dir) {
        return ::access((dir + "/application.ini").c_str(), R_OK) == 0 ||
               ::access((dir + "/firefox").c_str(), X_OK) == 0 ||
               ::access((dir + "/firefox-bin").c_str(), X_OK) == 0;
    };
    if (const char* path = std::getenv("PATH")) {
        std::string list = path;
        for (const char* program : {"firefox", "firefox-esr"}) {
            std::size_t start = 0;
            while (start <= list.size()) {
                std::size_t colon = list.find(':', start);
                if (colon == std::string::npos) colon = list.size();
                const std::string candidate = list.substr(start, colon - start) + "/" + program;
                start = colon + 1;
                if (candidate[0] != '/' || ::access(candidate.c_str(), X_OK) != 0) continue;
                const std::string dir =
                    std::filesystem::path(canonicalOr(candidate)).parent_path().string();
                if (isInstallation(dir)) add(dir, dir, out.empty());
                break;
            }
        }
    }
    for (const char* dir : {"/usr/lib/firefox-esr", "/usr/lib/firefox", "/usr/lib64/firefox",
                            "/usr/lib64/firefox-esr", "/opt/firefox", "/opt/firefox-esr"})
        if (isDirectory(dir) && isInstallation(dir)) {
            const std::string real = canonicalOr(dir);
            add(real, real, out.empty());
        }
    return out;
}

void SetFirefoxRoot(const std::string& dir) {
    gProfileChoice.clear(); // a choice among another root's profiles
    if (dir.empty()) {
        gExternalRoot.clear();
        return;
    }
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(dir, ec);
    gExternalRoot = withSlash(ec ? dir : abs.lexically_normal().string());
    machine::Machine* m = CurrentMachine();
    if (!m) return;
    m->files().addWritableRoot(gExternalRoot);
    // A profile that profiles.ini keeps elsewhere (IsRelative=0) is the user's too; links
    // inside it stay confined to it.
    for (const auto& p : FirefoxProfiles())
        if (p.exists && !m->files().writable(p.path)) m->files().addWritableRoot(p.path);
}

const std::string& ExternalFirefoxRoot() {
    return gExternalRoot;
}

std::string FirefoxRoot() {
    if (!gExternalRoot.empty()) return gExternalRoot;
    machine::Machine* m = CurrentMachine();
    if (!m) return {};
    std::string root = m->files().hostPath(m->shellFolder(26) + "\\Mozilla\\Firefox");
    return root.empty() ? root : withSlash(root);
}

namespace {

struct IniProfile {
    std::string name;
    std::string written; // Path= as written, normalised
    std::string host;
    bool isDefault = false; // Default=1
    std::vector<std::string> installKeys;
};

// The profiles the ini files name, the one Firefox starts with first.
std::vector<IniProfile> profilesFromIni(const std::string& root, const std::string& profilesIni,
                                        const std::string& installsIni,
                                        const std::vector<std::string>& installKeys) {
    const machine::ProfileFile profiles = machine::ProfileFile::parse(profilesIni);
    const machine::ProfileFile installs = machine::ProfileFile::parse(installsIni);

    std::vector<IniProfile> entries;
    auto hostOf = [&](const std::string& written, bool relative) {
        return relative ? withSlash(root + normalised(written)) : withSlash(hostPathOf(written));
    };
    for (const auto& section : profiles.sections()) {
        if (section.size() < 8 || section.compare(0, 7, "Profile") != 0) continue;
        const std::string path = profiles.get(section, "Path", "");
        if (path.empty()) continue;
        const bool relative = profiles.get(section, "IsRelative", "1") != "0";
        IniProfile e{profiles.get(section, "Name", ""),
                     normalised(path),
                     hostOf(path, relative),
                     profiles.get(section, "Default", "0") == "1",
                     {}};
        if (e.host == "/") continue;
        entries.push_back(std::move(e));
    }
    auto find = [&](const std::string& chosen) {
        const std::string want = normalised(chosen);
        auto it = std::find_if(entries.begin(), entries.end(), [&](const IniProfile& e) {
            return e.written == want ||
                   e.host == withSlash(isAbsolute(want) ? hostPathOf(want) : root + want);
        });
        if (it != entries.end()) return it;
        // A default that no [Profile] section lists still names a folder.
        entries.push_back({"",
                           want,
                           isAbsolute(want) ? withSlash(hostPathOf(want)) : withSlash(root + want),
                           false,
                           {}});
        return entries.end() - 1;
    };

    // The installations' choices: profiles.ini's [Install<key>] sections, then installs.ini's
    // [<key>] sections. A key may be written with fewer digits.
    struct Install {
        std::string key;
        std::string chosen;
    };
    std::vector<Install> sections;
    auto addSection = [&](std::string key, const std::string& chosen) {
        if (chosen.empty()) return;
        for (auto& c : key)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        while (key.size() < 16 && std::all_of(key.begin(), key.end(), [](char c) {
                   return std::isxdigit(static_cast<unsigned char>(c));
               }))
            key.insert(key.begin(), '0');
        for (const auto& s : sections)
            if (s.key == key) return;
        sections.push_back({key, chosen});
    };
    for (const auto& section : profiles.sections())
        if (section.rfind("Install", 0) == 0)
            addSection(section.substr(7), profiles.get(section, "Default", ""));
    for (const auto& section : installs.sections())
        addSection(section, installs.get(section, "Default", ""));
    for (const auto& s : sections)
        find(s.chosen)->installKeys.push_back(s.key);

    auto first = entries.end();
    for (const auto& key : installKeys) {
        first = std::find_if(entries.begin(), entries.end(), [&](const IniProfile& e) {
            return std::find(e.installKeys.begin(), e.installKeys.end(), key) !=
                   e.installKeys.end();
        });
        if (first != entries.end()) break;
    }
    // No installation is known here: the first installation's choice. One that has
    // chosen none takes the profile marked as default, as a newly installed Firefox does.
    auto firstSection = [&] {
        if (sections.empty()) return entries.end();
        return std::find_if(entries.begin(), entries.end(), [&](const IniProfile& e) {
            return std::find(e.installKeys.begin(), e.installKeys.end(), sections.front().key) !=
                   e.installKeys.end();
        });
    };
    if (first == entries.end() && installKeys.empty()) first = firstSection();
    if (first == entries.end())
        first = std::find_if(entries.begin(), entries.end(),
                             [](const IniProfile& e) { return e.isDefault; });
    if (first == entries.end()) first = firstSection();
    if (first != entries.end()) std::rotate(entries.begin(), first, first + 1);

    std::vector<IniProfile> out;
    for (auto& e : entries) {
        auto same = std::find_if(out.begin(), out.end(),
                                 [&](const IniProfile& o) { return o.host == e.host; });
        if (same == out.end()) {
            out.push_back(std::move(e));
        } else {
            if (same->name.empty()) same->name = e.name;
            same->installKeys.insert(same->installKeys.end(), e.installKeys.begin(),
                                     e.installKeys.end());
        }
    }
    return out;
}

std::vector<std::string> keysOf(const std::vector<FirefoxInstallation>& installations) {
    std::vector<std::string> keys;
    for (const auto& i : installations)
        keys.push_back(i.key);
    return keys;
}

bool sameFolder(const std::string& a, const std::string& b) {
    return withSlash(canonicalOr(a)) == withSlash(canonicalOr(b));
}

using text::equalsIgnoringCase;

} // namespace

std::vector<std::string> ProfilePathsFromIni(const std::string& root,
                                             const std::string& profilesIni,
                                             const std::string& installsIni,
                                             const std::vector<std::string>& installKeys) {
    std::vector<std::string> out;
    for (const auto& e : profilesFromIni(root, profilesIni, installsIni, installKeys))
        out.push_back(e.host);
    return out;
}

std::vector<FirefoxProfile> FirefoxProfiles() {
    std::vector<FirefoxProfile> out;
    const std::string root = FirefoxRoot();
    if (root.empty() || ::access((root + "profiles.ini").c_str(), R_OK) != 0) return out;
    const auto installations = FirefoxInstallations();
    for (auto& e : profilesFromIni(root, readOrEmpty(root + "profiles.ini"),
                                   readOrEmpty(root + "installs.ini"), keysOf(installations))) {
        FirefoxProfile p{e.name, e.host, isDirectory(e.host), {}};
        for (const auto& key : e.installKeys) {
            auto it = std::find_if(installations.begin(), installations.end(),
                                   [&](const FirefoxInstallation& i) { return i.key == key; });
            p.installs.push_back(it != installations.end() ? it->dir
                                                           : text::trf("Installation %1", key));
        }
        out.push_back(std::move(p));
    }
    if (gProfileChoice.empty()) return out;
    // The user's choice comes first: a name (as written, else ignoring case), else a folder.
    auto chosen = std::find_if(out.begin(), out.end(),
                               [](const FirefoxProfile& p) { return p.name == gProfileChoice; });
    if (chosen == out.end())
        chosen = std::find_if(out.begin(), out.end(), [](const FirefoxProfile& p) {
            return equalsIgnoringCase(p.name, gProfileChoice);
        });
    if (chosen == out.end())
        chosen = std::find_if(out.begin(), out.end(), [](const FirefoxProfile& p) {
            return sameFolder(p.path, gProfileChoice);
        });
    if (chosen == out.end()) {
        out.insert(out.begin(),
                   {"", withSlash(canonicalOr(gProfileChoice)), isDirectory(gProfileChoice), {}});
        chosen = out.begin();
    }
    std::rotate(out.begin(), chosen, chosen + 1);
    return out;
}

void SetFirefoxProfile(const std::string& nameOrPath) {
    if (nameOrPath.empty()) {
        gProfileChoice.clear();
        return;
    }
    const std::string keep = gProfileChoice;
    gProfileChoice.clear();
    const auto profiles = FirefoxProfiles();
    const bool named = std::any_of(profiles.begin(), profiles.end(), [&](const FirefoxProfile& p) {
        return equalsIgnoringCase(p.name, nameOrPath) || sameFolder(p.path, nameOrPath);
    });
    if (!named && !isDirectory(nameOrPath)) {
        gProfileChoice = keep;
        std::string names;
        for (const auto& p : profiles)
            if (!p.name.empty()) names += (names.empty() ? "" : ", ") + p.name;
        if (FirefoxRoot().empty())
            throw RegistryAccessError(text::trf("Es gibt kein Firefox-Profil %1 (kein "
                                                "Firefox-Ordner) und keinen solchen Ordner.",
                                                nameOrPath));
        if (names.empty())
            throw RegistryAccessError(text::trf("Es gibt kein Firefox-Profil %1 (%2profiles.ini "
                                                "nennt keines) und keinen solchen Ordner.",
                                                nameOrPath, FirefoxRoot()));
        throw RegistryAccessError(text::trf("Es gibt kein Firefox-Profil %1 (%2profiles.ini nennt "
                                            "%3) und keinen solchen Ordner.",
                                            nameOrPath, FirefoxRoot(), names));
    }
    gProfileChoice = nameOrPath;
    // A folder the user names is theirs to change, wherever it is.
    if (named) return;
    if (machine::Machine* m = CurrentMachine())
        if (!m->files().writable(nameOrPath)) m->files().addWritableRoot(nameOrPath);
}

const std::string& FirefoxProfileChoice() {
    return gProfileChoice;
}

void GetFireFoxProfilePaths(TSmallStringList& list) {
    list.clear();
    const auto profiles = FirefoxProfiles();
    for (std::size_t i = 0; i < profiles.size(); ++i)
        if (i == 0 || profiles[i].exists) list.push_back(profiles[i].path);
}

std::string FirefoxProfileInUse(const std::string& profileDir) {
    const std::string dir = withSlash(profileDir);
    // Linux and macOS: a symbolic link "lock" to "<address>:+<pid>", dangling after a crash.
    struct stat st {};
    if (::lstat((dir + "lock").c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char target[256] = {};
        ssize_t n = ::readlink((dir + "lock").c_str(), target, sizeof target - 1);
        std::string t(target, n > 0 ? static_cast<std::size_t>(n) : 0);
        auto plus = t.rfind(":+");
        long pid = 0;
        if (plus != std::string::npos) {
            try {
                pid = std::stol(t.substr(plus + 2));
            } catch (const std::exception&) {
                pid = 0;
            }
        }
        if (pidRunning(pid))
            return text::trf("Firefox (Prozess %1) läuft mit dem Profil %2.", std::to_string(pid),
                             dir);
    }
    // The fcntl lock a running Firefox holds on ".parentlock".
    int fd = ::open((dir + ".parentlock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        const bool held = ::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
        ::close(fd);
        if (held)
            return text::trf("Firefox (Prozess %1) läuft mit dem Profil %2.",
                             std::to_string(fl.l_pid), dir);
    }
    // Windows: "parent.lock" exists only while a Firefox has it open.
    if (::access((dir + "parent.lock").c_str(), F_OK) == 0)
        return text::trf("Firefox läuft auf diesem Windows-System mit dem Profil %1 "
                         "(parent.lock ist vorhanden).",
                         dir);
    return {};
}

std::string FirefoxWriteRefusal(const std::string& path) {
    // The profile is the folder of the file or one above it (chrome/userChrome.css).
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::absolute(path, ec).parent_path();
    while (!dir.empty()) {
        if (std::string inUse = FirefoxProfileInUse(dir.string()); !inUse.empty())
            return text::trf("%1 Firefox schreibt seine Dateien beim Beenden neu, schließen Sie "
                             "es deshalb zuerst.",
                             inUse);
        if (!dir.has_relative_path()) break;
        dir = dir.parent_path();
    }
    return {};
}

void RequireFirefoxClosed(const std::string& path) {
    if (std::string why = FirefoxWriteRefusal(path); !why.empty())
        throw RegistryAccessError(text::trf("%1 Es wurde nichts geändert.", why));
}

} // namespace ravelin
