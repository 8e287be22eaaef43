#include "host/registry/MachineLock.h"

#include "host/registry/Types.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace ravelin::registry {

double lockWaitSeconds() {
    const char* env = std::getenv("DESKFORGE_LOCK_WAIT");
    if (!env || !*env) return 10;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(env, &end);
    // strtod reports a huge number as out of range: it still means "wait long".
    const bool number = end != env && *end == '\0' && !std::isnan(v);
    if (!number || v < 0)
        throw RegistryAccessError(
            text::trf("DESKFORGE_LOCK_WAIT=%1: keine Anzahl Sekunden, die auf einen anderen "
                      "deskforge-Prozess gewartet werden soll (0 oder mehr, \"inf\" für "
                      "unbegrenztes Warten)",
                      env));
    return v;
}

MachineLock::MachineLock(const std::string& machineDir, double waitSeconds) {
    if (waitSeconds < 0) waitSeconds = lockWaitSeconds();
    std::string dir = machineDir + "/.deskforge";
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
        throw RegistryAccessError(
            text::trf("%1: In den Maschinenordner kann nicht geschrieben werden: %2", machineDir,
                      std::strerror(errno)));
    std::string path = dir + "/lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0)
        throw RegistryAccessError(text::trf("%1: Die Sperrdatei kann nicht geöffnet werden: %2",
                                            path, std::strerror(errno)));
    // A short sleep between tries keeps the waiting cheap; the holder of the lock
    // usually finishes within milliseconds.
    // A wait beyond what the clock can count (a century, "inf") is a wait without end.
    constexpr double kEndless = 100.0 * 365 * 24 * 3600;
    const auto deadline = waitSeconds >= kEndless
                              ? std::chrono::steady_clock::time_point::max()
                              : std::chrono::steady_clock::now() +
                                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(waitSeconds));
    auto pause = std::chrono::milliseconds(2);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        if (err == EINTR) continue;
        if (err != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            ::close(fd_);
            fd_ = -1;
            if (err == EWOULDBLOCK) {
                char waited[32];
                std::snprintf(waited, sizeof waited, "%g", waitSeconds);
                throw RegistryAccessError(text::trf(
                    "%1: Die Maschine wird gerade von einem anderen deskforge-Prozess geändert "
                    "(%2 s gewartet); es wurde nichts geschrieben. Versuchen Sie es erneut, wenn "
                    "er fertig ist.",
                    machineDir, waited));
            }
            throw RegistryAccessError(text::trf("%1: Die Sperre kann nicht gesetzt werden: %2",
                                                path, std::strerror(err)));
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

MachineLock::~MachineLock() {
    if (fd_ >= 0) ::close(fd_); // closing releases the lock
}

namespace {

std::optional<pid_t> lockHolder(const std::string& serverDir) {
    std::string path = serverDir + "/lock";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    std::optional<pid_t> holder;
    if (::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK) holder = fl.l_pid;
    ::close(fd);
    return holder;
}

// A wineserver process whose working folder is named `serverDir` (server-<dev>-<ino>).
std::optional<pid_t> wineserverWorkingIn(const std::string& serverDir) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return std::nullopt;
    std::optional<pid_t> found;
    const std::string suffix = "/" + serverDir;
    while (dirent* e = ::readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        const std::string base = std::string("/proc/") + e->d_name;
        char cwd[4096];
        ssize_t n = ::readlink((base + "/cwd").c_str(), cwd, sizeof cwd - 1);
        if (n <= 0) continue; // gone, or another user's
        std::string where(cwd, static_cast<std::size_t>(n));
        if (where.size() <= suffix.size() ||
            where.compare(where.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        std::ifstream comm(base + "/comm");
        std::string command;
        if (comm && std::getline(comm, command) && command.rfind("wineserver", 0) == 0) {
            found = static_cast<pid_t>(pid);
            break;
        }
    }
    ::closedir(proc);
    return found;
}

} // namespace

std::optional<pid_t> runningWineserver(const std::string& prefixDir,
                                       const std::vector<std::string>& extraRoots) {
    struct stat st {};
    if (::stat(prefixDir.c_str(), &st) != 0) return std::nullopt;
    char name[64];
    std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));

    std::vector<std::string> roots = extraRoots;
    for (uid_t uid : {::getuid(), st.st_uid}) {
        roots.push_back("/tmp/.wine-" + std::to_string(uid));
        roots.push_back("/run/user/" + std::to_string(uid) + "/wine");
    }
    // Debian's Wine may keep its folder elsewhere and names it in the prefix.
    std::ifstream named(prefixDir + "/wineserver");
    std::string where;
    if (named && std::getline(named, where) && !where.empty()) {
        if (where.front() == '/') {
            roots.push_back(where);
        } else {
            // A name relative to the temporary folder Wine was started with.
            if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp)
                roots.push_back(std::string(tmp) + "/" + where);
            roots.push_back("/tmp/" + where);
        }
    }
    for (const auto& root : roots)
        if (auto pid = lockHolder(root + "/" + name)) return pid;
    // The folder lies under the server's own temporary folder, which need not be ours: the
    // server itself works in it, whatever the environment it was started with.
    return wineserverWorkingIn(name);
}

} // namespace ravelin::registry
