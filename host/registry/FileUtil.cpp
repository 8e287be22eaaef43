#include "host/registry/FileUtil.h"

#include "host/registry/Types.h"
#include "host/text/Translate.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ravelin::registry {

namespace {

std::string errnoText() {
    return std::strerror(errno);
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

std::string folderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void fsyncFolder(const std::string& path) {
    Fd dir(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

} // namespace

std::string readWholeFile(const std::string& path) {
    // Without blocking: a FIFO or a device named here would otherwise hang the reader (and
    // whatever lock it holds) until someone writes to it.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        throw RegistryAccessError(
            text::trf("%1: Die Datei kann nicht geöffnet werden: %2", path, errnoText()));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw RegistryAccessError(path + ": " + errnoText());
    if (!S_ISREG(st.st_mode))
        throw RegistryAccessError(text::trf("%1: Abgelehnt: Das ist keine normale Datei.", path));
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    std::string data;
    data.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (true) {
        if (done == data.size()) data.resize(data.size() + 65536); // the file grew
        ssize_t n = ::read(fd.get(), data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw RegistryAccessError(
                text::trf("%1: Die Datei kann nicht gelesen werden: %2", path, errnoText()));
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    data.resize(done);
    return data;
}

std::optional<std::string> readOnlyReason(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt; // a new file
    if (!S_ISREG(st.st_mode)) return text::tr("Das ist keine normale Datei.");
    if ((st.st_mode & 0222) == 0)
        return text::tr("Die Datei ist schreibgeschützt (keine Schreibberechtigung).");
    // The read-only attribute as Wine keeps it ("0x21"), and as an NTFS drive mounted with
    // ntfs-3g shows it (four bytes, most significant first).
    char buf[64];
    ssize_t n = ::getxattr(path.c_str(), "user.DOSATTRIB", buf, sizeof buf - 1);
    if (n > 0) {
        buf[n] = '\0';
        if (std::strtoul(buf, nullptr, 16) & 0x1)
            return text::tr("Die Datei hat das Attribut „Schreibgeschützt“.");
    }
    unsigned char ntfs[4];
    if (::getxattr(path.c_str(), "system.ntfs_attrib_be", ntfs, sizeof ntfs) == 4 &&
        (ntfs[3] & 0x1))
        return text::tr("Die Datei hat das Attribut „Schreibgeschützt“.");
    return std::nullopt;
}

void refuseReadOnly(const std::string& path) {
    if (auto why = readOnlyReason(path))
        throw RegistryAccessError(
            text::trf("%1: Abgelehnt: %2 Es wurde nichts geschrieben.", path, *why));
}

std::string temporaryPathBeside(const std::string& path) {
    std::string templ = path + ".deskforge-XXXXXX";
    Fd fd(::mkstemp(templ.data()));
    if (fd.get() < 0)
        throw RegistryAccessError(
            text::trf("%1: Es kann keine vorläufige Datei angelegt werden: %2", path, errnoText()));
    return templ;
}

std::size_t removeTemporariesBeside(const std::string& path) {
    const std::string folder = folderOf(path);
    const std::string prefix = path.substr(path.rfind('/') + 1) + ".deskforge-";
    DIR* d = ::opendir(folder.c_str());
    if (!d) return 0;
    std::vector<std::string> doomed;
    while (dirent* e = ::readdir(d)) {
        std::string_view name = e->d_name;
        // mkstemp's six characters, nothing else: a name someone else chose stays.
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string full = folder + "/" + e->d_name;
        struct stat st {};
        if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) doomed.push_back(full);
    }
    ::closedir(d);
    std::size_t removed = 0;
    for (const auto& f : doomed)
        if (::unlink(f.c_str()) == 0) ++removed;
    if (removed) fsyncFolder(path);
    return removed;
}

void commitTemporary(const std::string& temp, const std::string& path) {
    // Replacing a file by rename would pass over its read-only state, which Windows and Wine
    // honour: such a file is not written.
    if (auto why = readOnlyReason(path)) {
        ::unlink(temp.c_str());
        throw RegistryAccessError(
            text::trf("%1: Abgelehnt: %2 Es wurde nichts geschrieben.", path, *why));
    }
    Fd fd(::open(temp.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0) {
        ::unlink(temp.c_str());
        throw RegistryAccessError(text::trf(
            "%1: Die vorläufige Datei kann nicht wieder geöffnet werden: %2", path, errnoText()));
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        ::fchmod(fd.get(), st.st_mode & 07777);
        if (::fchown(fd.get(), st.st_uid, st.st_gid) != 0) {
            // Not permitted for another user's file: the new file stays ours.
        }
    } else {
        ::fchmod(fd.get(), 0644);
    }
    if (::fsync(fd.get()) != 0) {
        std::string why = errnoText();
        ::unlink(temp.c_str());
        throw RegistryAccessError(text::trf(
            "%1: Die Datei kann nicht auf den Datenträger geschrieben werden: %2", path, why));
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        std::string why = errnoText();
        ::unlink(temp.c_str());
        throw RegistryAccessError(
            text::trf("%1: Die Datei kann nicht ersetzt werden: %2", path, why));
    }
    fsyncFolder(path);
}

std::string saveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        throw RegistryAccessError(text::trf(
            "%1: Abgelehnt: eine Verknüpfung auf eine Datei, die nicht erreichbar ist: %2", path,
            errnoText()));
    std::string out(real);
    std::free(real);
    return out;
}

namespace {

std::string canonicalOrEmpty(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return {};
    std::string out(real);
    std::free(real);
    return out;
}

bool isInside(const std::string& path, const std::string& root) {
    if (root.empty() || path.empty()) return false;
    if (root == "/") return true;
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            path[root.size()] == '/');
}

} // namespace

bool resolvesInside(const std::string& path, const std::vector<std::string>& roots) {
    if (path.empty() || path[0] != '/') return false;
    // The deepest part that exists, with every link resolved; a name that goes up from a
    // part that does not exist cannot be judged and is refused.
    std::string probe = path;
    std::string resolved;
    while (true) {
        struct stat st {};
        if (::lstat(probe.c_str(), &st) == 0) {
            resolved = canonicalOrEmpty(probe);
            break;
        }
        auto slash = probe.rfind('/');
        if (slash == std::string::npos || slash == 0) return false;
        if (probe.substr(slash + 1) == "..") return false;
        probe.resize(slash);
    }
    if (resolved.empty()) return false; // a dangling link
    for (const auto& root : roots)
        if (isInside(resolved, canonicalOrEmpty(root))) return true;
    return false;
}

void writeFileAtomically(const std::string& path, const std::string& data) {
    refuseReadOnly(path);
    std::string temp = temporaryPathBeside(path);
    {
        Fd fd(::open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        if (fd.get() < 0) {
            ::unlink(temp.c_str());
            throw RegistryAccessError(
                text::trf("%1: Die Datei kann nicht geschrieben werden: %2", path, errnoText()));
        }
        std::size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::write(fd.get(), data.data() + done, data.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                std::string why = errnoText();
                ::unlink(temp.c_str());
                throw RegistryAccessError(
                    text::trf("%1: Die Datei kann nicht geschrieben werden: %2", path, why));
            }
            done += static_cast<std::size_t>(n);
        }
    }
    commitTemporary(temp, path);
}

} // namespace ravelin::registry
