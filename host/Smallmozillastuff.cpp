#include "host/Smallmozillastuff.h"

#include "host/Nxsystem.h"
#include "host/machine/Machine.h"
#include "host/machine/ProfileFile.h"
#include "host/registry/FileUtil.h"
#include "host/registry/Types.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace ravelin {

namespace {

std::string gExternalRoot; // the root a front end chose; "" for the machine's

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

} // namespace

void SetFirefoxRoot(const std::string& dir) {
    if (dir.empty()) {
        gExternalRoot.clear();
        return;
    }
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(dir, ec);
    gExternalRoot = withSlash(ec ? dir : abs.lexically_normal().string());
    if (machine::Machine* m = CurrentMachine()) m->files().addWritableRoot(gExternalRoot);
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

std::vector<std::string> ProfilePathsFromIni(const std::string& root,
                                             const std::string& profilesIni,
                                             const std::string& installsIni) {
    const machine::ProfileFile profiles = machine::ProfileFile::parse(profilesIni);
    const machine::ProfileFile installs = machine::ProfileFile::parse(installsIni);

    struct Entry {
        std::string written; // Path= as written, normalised
        std::string host;
        bool isDefault = false;
    };
    std::vector<Entry> entries;
    auto hostOf = [&](const std::string& written, bool relative) {
        return relative ? withSlash(root + normalised(written)) : withSlash(hostPathOf(written));
    };
    for (const auto& section : profiles.sections()) {
        if (section.size() < 8 || section.compare(0, 7, "Profile") != 0) continue;
        const std::string path = profiles.get(section, "Path", "");
        if (path.empty()) continue;
        const bool relative = profiles.get(section, "IsRelative", "1") != "0";
        Entry e{normalised(path), hostOf(path, relative),
                profiles.get(section, "Default", "0") == "1"};
        if (e.host == "/") continue;
        entries.push_back(std::move(e));
    }

    // The installation's choice: profiles.ini's [Install...] sections, then installs.ini.
    std::string chosen;
    for (const auto& section : profiles.sections())
        if (chosen.empty() && section.rfind("Install", 0) == 0)
            chosen = profiles.get(section, "Default", "");
    for (const auto& section : installs.sections())
        if (chosen.empty()) chosen = installs.get(section, "Default", "");

    auto first = entries.end();
    if (!chosen.empty()) {
        const std::string want = normalised(chosen);
        first = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) {
            return e.written == want ||
                   e.host == withSlash(isAbsolute(want) ? hostPathOf(want) : root + want);
        });
        if (first == entries.end()) {
            // A default that no [Profile] section lists still names a folder.
            entries.insert(
                entries.begin(),
                Entry{want, isAbsolute(want) ? withSlash(hostPathOf(want)) : withSlash(root + want),
                      true});
            first = entries.begin();
        }
    }
    if (first == entries.end())
        first = std::find_if(entries.begin(), entries.end(),
                             [](const Entry& e) { return e.isDefault; });
    if (first != entries.end()) std::rotate(entries.begin(), first, first + 1);

    std::vector<std::string> out;
    for (const auto& e : entries)
        if (std::find(out.begin(), out.end(), e.host) == out.end()) out.push_back(e.host);
    return out;
}

void GetFireFoxProfilePaths(TSmallStringList& list) {
    list.clear();
    const std::string root = FirefoxRoot();
    if (root.empty()) return;
    auto read = [](const std::string& path) {
        try {
            return registry::readWholeFile(path);
        } catch (const RegistryAccessError&) {
            return std::string();
        }
    };
    if (::access((root + "profiles.ini").c_str(), R_OK) != 0) return;
    for (auto& dir :
         ProfilePathsFromIni(root, read(root + "profiles.ini"), read(root + "installs.ini")))
        if (isDirectory(dir)) list.push_back(std::move(dir));
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
            return "Firefox (process " + std::to_string(pid) + ") is running with the profile " +
                   dir;
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
            return "Firefox (process " + std::to_string(fl.l_pid) +
                   ") is running with the profile " + dir;
    }
    // Windows: "parent.lock" exists only while a Firefox has it open.
    if (::access((dir + "parent.lock").c_str(), F_OK) == 0)
        return "Firefox is running with the profile " + dir +
               " on that Windows system (parent.lock is present)";
    return {};
}

} // namespace ravelin
