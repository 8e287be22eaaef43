#include "host/registry/MachineLock.h"

#include "host/registry/Types.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace ravelin::registry {

double lockWaitSeconds() {
    if (const char* env = std::getenv("DESKFORGE_LOCK_WAIT"); env && *env) {
        char* end = nullptr;
        double v = std::strtod(env, &end);
        if (end && *end == '\0' && v >= 0) return v;
    }
    return 10;
}

MachineLock::MachineLock(const std::string& machineDir, double waitSeconds) {
    if (waitSeconds < 0) waitSeconds = lockWaitSeconds();
    std::string dir = machineDir + "/.deskforge";
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
        throw RegistryAccessError(machineDir +
                                  ": cannot write to the machine folder: " + std::strerror(errno));
    std::string path = dir + "/lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0)
        throw RegistryAccessError(path + ": cannot open the lock file: " + std::strerror(errno));
    // A short sleep between tries keeps the waiting cheap; the holder of the lock
    // usually finishes within milliseconds.
    const auto deadline = std::chrono::steady_clock::now() +
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
                throw RegistryAccessError(
                    machineDir +
                    ": the machine is being changed by another deskforge process "
                    "(waited " +
                    waited +
                    " s); nothing was written, try again "
                    "when it has finished");
            }
            throw RegistryAccessError(path + ": cannot lock: " + std::strerror(err));
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
    return std::nullopt;
}

} // namespace ravelin::registry
