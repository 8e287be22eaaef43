#include "host/Nxsystem.h"

#include "host/Nxbrowser.h"
#include "host/Nxregistry.h"
#include "host/machine/ProfileFile.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace ravelin {

namespace {

// The machine the host has bound: the module-level binding of this unit.
machine::Machine* gMachine = nullptr;

std::string withSlash(std::string p) {
    if (!p.empty() && p.back() != '/') p.push_back('/');
    return p;
}

// The program's data folder: $DESKFORGE_SHARE, else share/deskforge beside the installed
// program, else the source tree's share/ (running from the build folder).
std::string shareDir() {
    if (const char* env = std::getenv("DESKFORGE_SHARE"); env && *env) return withSlash(env);
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto installed = exe.parent_path().parent_path() / "share" / "deskforge";
        if (std::filesystem::is_directory(installed, ec)) return withSlash(installed.string());
    }
    return withSlash(RAVELIN_SHARE_DIR);
}

std::string hostPathOf(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    return gMachine ? gMachine->resolve(path) : std::string();
}

bool isFile(const std::string& p) {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

void SetCurrentMachine(machine::Machine* m) {
    gMachine = m;
}
machine::Machine* CurrentMachine() {
    return gMachine;
}

bool IsAdmin() {
    return gMachine && gMachine->config().admin;
}
int CurrentOS() {
    return gMachine ? gMachine->identity().osCode : 0;
}
int GetPlatformId() {
    return gMachine ? gMachine->identity().platform : 0;
}

bool IsWinXPSP(int n) {
    if (!gMachine) return false;
    auto id = gMachine->identity();
    return id.osCode > 6 || (id.osCode == 6 && id.servicePack >= n);
}

TFileVersionIdentification GetIEVersion() {
    if (!gMachine) return {};
    // The program file's own version where there is one, as Windows reports it.
    if (auto v = FileVersionOf(IEProgramFile()); v.Major != 0) return v;
    return gMachine->ieVersion();
}
bool IEInstalled() {
    return GetIEVersion().Major >= 1;
}
bool IE4Installed() {
    return GetIEVersion().Major >= 4;
}
bool IE5Installed() {
    return GetIEVersion().Major >= 5;
}
bool IE6Installed() {
    return GetIEVersion().Major >= 6;
}

bool GetVersion2k(OSVersionInfoEx& info) {
    if (!gMachine) return false;
    auto id = gMachine->identity();
    auto v = machine::parseVersion(id.version);
    info.dwMajorVersion = v.Major;
    info.dwMinorVersion = v.Minor;
    info.dwPlatformId = id.platform;
    info.wServicePackMajor = id.servicePack;
    info.wSuiteMask = id.suiteMask;
    return id.platform == 2; // the extended information exists on the NT family only
}

std::string GetWinDir() {
    return gMachine ? gMachine->windowsDir() : std::string();
}
std::string GetSysDir() {
    return gMachine ? gMachine->systemDir() : std::string();
}
std::string GetFolderLocStr(int csidl) {
    return gMachine ? gMachine->shellFolder(csidl) : std::string();
}

std::string CurAppDir() {
    return shareDir();
}
std::string CurAppDataDir() {
    return shareDir();
}

std::string GetAppDataDir(bool perUser, bool create) {
    std::string dir;
    if (perUser) {
        const char* xdg = std::getenv("XDG_DATA_HOME");
        const char* home = std::getenv("HOME");
        dir = xdg && *xdg ? std::string(xdg) + "/deskforge"
                          : std::string(home ? home : "/tmp") + "/.local/share/deskforge";
    } else {
        dir = shareDir();
    }
    if (create) {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
    }
    return withSlash(dir);
}

std::string NXTranslateFilePath(const std::string& path) {
    // The folder of the language shown; a file it lacks (a picture without words) is the
    // German one, the source every language folder starts from.
    auto inFolder = [&path](const std::string& language) {
        std::string out = path;
        for (std::size_t p; (p = out.find("[LANG]")) != std::string::npos;)
            out.replace(p, 6, language);
        return out;
    };
    const std::string& language = text::CurrentLanguage();
    if (language != "de" && path.find("[LANG]") != std::string::npos) {
        std::string shown = inFolder(language);
        if (isFile(hostPathOf(shown))) return shown;
    }
    return inFolder("de");
}

bool NXFileExists(const std::string& path) {
    return isFile(hostPathOf(path));
}

bool DirExists(const std::string& path) {
    struct stat st {};
    std::string p = hostPathOf(path);
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FindFile(const std::string& name) {
    if (name.empty()) return {};
    bool hasFolder =
        name.find_first_of("\\/") != std::string::npos || (name.size() > 1 && name[1] == ':');
    if (hasFolder) return NXFileExists(name) ? name : std::string();
    std::vector<std::string> folders = {GetSysDir(), GetWinDir()};
    std::string path = GetRegStringValueDef(
        HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
        "Path", "", {2});
    for (std::size_t start = 0; start < path.size();) {
        std::size_t sep = path.find(';', start);
        if (sep == std::string::npos) sep = path.size();
        std::string folder = path.substr(start, sep - start);
        // %SystemRoot% and friends.
        for (const char* var : {"%SystemRoot%", "%windir%"}) {
            std::size_t p = text::foldName(folder).find(text::foldName(var));
            if (p != std::string::npos) folder.replace(p, std::string(var).size(), GetWinDir());
        }
        if (!folder.empty()) folders.push_back(folder);
        start = sep + 1;
    }
    for (const auto& f : folders) {
        if (f.empty()) continue;
        std::string candidate = f + (f.back() == '\\' ? "" : "\\") + name;
        std::string host = hostPathOf(candidate);
        if (isFile(host)) {
            // Spelled as on disk, as Windows reports it.
            std::string spelled = gMachine ? gMachine->files().windowsPath(host) : std::string();
            return spelled.empty() ? candidate : spelled;
        }
    }
    return {};
}

std::string GetPPString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& def) {
    machine::ProfileFile ini;
    if (!machine::ProfileFile::load(hostPathOf(file), ini)) return def;
    return ini.get(section, key, def);
}

long HexToDEC(const std::string& hex) {
    std::size_t i = 0;
    while (i < hex.size() && std::isspace(static_cast<unsigned char>(hex[i])))
        ++i;
    if (hex.size() >= i + 2 && hex[i] == '0' && (hex[i + 1] == 'x' || hex[i + 1] == 'X')) i += 2;
    long v = 0;
    for (; i < hex.size() && std::isxdigit(static_cast<unsigned char>(hex[i])); ++i) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(hex[i])));
        v = v * 16 + (c <= '9' ? c - '0' : c - 'a' + 10);
        if (v > 0x7FFFFFFF) return 0x7FFFFFFF;
    }
    return v;
}

bool GetServiceStartType(const std::string& name, int& startType) {
    if (!gMachine) return false;
    int t = gMachine->serviceStartType(name);
    if (t == 0) return false;
    startType = t;
    return true;
}

bool GetServiceState(const std::string& name, int& state) {
    if (!gMachine) return false;
    int s = gMachine->serviceState(name);
    if (s == 0) return false;
    state = s;
    return true;
}

std::vector<std::string> GetDependentServiceList(const std::string& name) {
    return gMachine ? gMachine->dependentServices(name) : std::vector<std::string>{};
}

bool ConfigureService(const std::string& name, int startType, int action, bool dependant) {
    if (!gMachine || !gMachine->serviceExists(name)) return false;
    BackupStart(0,
                dependant ? text::trf("Dienst (abhängig) %1", name) : text::trf("Dienst %1", name));
    bool ok = true;
    try {
        auto before = gMachine->config().services;
        ok = gMachine->configureService(name, startType, action);
        if (ok && before != gMachine->config().services) {
            // Run states live in machine.json, written through the journal.
            TJournalStream stream;
            stream.Data() = gMachine->configJson();
            stream.SaveToFile(gMachine->root() + "/machine.json");
        }
    } catch (const RegistryAccessError&) {
        ok = false;
    }
    BackupEnd(false);
    return ok;
}

} // namespace ravelin
