#include "host/machine/MachineFiles.h"

#include "host/registry/FileUtil.h"
#include "host/registry/Types.h"
#include "host/text/Text.h"
#include "host/text/Translate.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ravelin::machine {

namespace {

constexpr unsigned kHidden = 0x2;
constexpr const char* kDosAttrib = "user.DOSATTRIB";

std::string canonical(const std::string& path) {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf)) return buf;
    return {};
}

bool isInside(const std::string& path, const std::string& dir) {
    if (dir.empty()) return false;
    if (path == dir) return true;
    return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
           (path[dir.size()] == '/' || dir == "/");
}

// The entry of `dir` named `name` ignoring case; "" when there is none.
std::string findEntry(const std::string& dir, const std::string& name) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (name == e->d_name) {
            found = e->d_name;
            break;
        }
        if (found.empty() && text::namesEqual(e->d_name, name)) found = e->d_name;
    }
    ::closedir(d);
    return found;
}

} // namespace

MachineFiles::MachineFiles(std::string root, bool winePrefix)
    : root_(std::move(root)), wine_(winePrefix) {
    if (!root_.empty() && root_[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) root_ = std::string(cwd) + "/" + root_;
    }
    while (root_.size() > 1 && root_.back() == '/')
        root_.pop_back();
}

std::string MachineFiles::driveRoot(char letter) const {
    letter = text::lower(letter);
    if (!wine_) return letter == 'c' ? root_ : std::string();
    if (letter == 'c') return root_ + "/drive_c";
    std::string link = root_ + "/dosdevices/" + std::string(1, letter) + ":";
    struct stat st {};
    if (::stat(link.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    return link;
}

std::string MachineFiles::hostPath(const std::string& windowsPath) const {
    if (!windowsPath.empty() && windowsPath[0] == '/') return windowsPath;
    if (windowsPath.size() < 2 || windowsPath[1] != ':' ||
        !std::isalpha(static_cast<unsigned char>(windowsPath[0])))
        return {};
    std::string path = driveRoot(windowsPath[0]);
    if (path.empty()) return {};
    std::string rest = windowsPath.substr(2);
    bool exists = true;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t sep = rest.find_first_of("\\/", start);
        if (sep == std::string::npos) sep = rest.size();
        std::string part = rest.substr(start, sep - start);
        start = sep + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            // Never above the drive.
            auto slash = path.rfind('/');
            if (slash != std::string::npos && path.size() > driveRoot(windowsPath[0]).size())
                path.resize(slash);
            continue;
        }
        std::string onDisk = exists ? findEntry(path, part) : std::string();
        if (onDisk.empty()) exists = false;
        path += "/" + (onDisk.empty() ? part : onDisk);
    }
    return path;
}

std::string MachineFiles::windowsPath(const std::string& host) const {
    std::string c = driveRoot('c');
    if (!isInside(host, c)) return {};
    std::string rest = host.substr(c.size());
    for (auto& ch : rest)
        if (ch == '/') ch = '\\';
    return "C:" + (rest.empty() ? std::string("\\") : rest);
}

bool MachineFiles::fileExists(const std::string& path) const {
    struct stat st {};
    std::string p = hostPath(path);
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool MachineFiles::dirExists(const std::string& path) const {
    struct stat st {};
    std::string p = hostPath(path);
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void MachineFiles::addWritableRoot(const std::string& dir) {
    std::string c = canonical(dir);
    if (!c.empty()) writableRoots_.push_back(c);
}

bool MachineFiles::writable(const std::string& path) const {
    if (path.empty()) return false;
    std::string hostPath = path;
    if (hostPath[0] != '/') {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd)) return false;
        hostPath = std::string(cwd) + "/" + hostPath;
    }
    // The deepest part that exists, with every link resolved.
    std::string probe = hostPath;
    std::string resolved;
    while (true) {
        struct stat st {};
        if (::lstat(probe.c_str(), &st) == 0) {
            resolved = canonical(probe);
            break;
        }
        auto slash = probe.rfind('/');
        if (slash == std::string::npos || slash == 0) return false;
        std::string leaf = probe.substr(slash + 1);
        if (leaf == "..") return false;
        probe.resize(slash);
    }
    if (resolved.empty()) return false; // a dangling link
    if (isInside(resolved, canonical(root_))) return true;
    for (const auto& r : writableRoots_)
        if (isInside(resolved, r)) return true;
    return false;
}

void MachineFiles::requireWritable(const std::string& hostPath) const {
    if (!writable(hostPath))
        throw RegistryAccessError(text::trf(
            "%1: Abgelehnt: Der Pfad führt aus dem Maschinenordner %2 hinaus.", hostPath, root_));
}

std::optional<unsigned> MachineFiles::sidecarAttributes(const std::string& hostPath) const {
    std::ifstream in(root_ + "/.deskforge/attributes");
    std::string line;
    std::string rel = hostPath.substr(std::min(hostPath.size(), root_.size() + 1));
    while (std::getline(in, line)) {
        auto tab = line.find('\t');
        if (tab != std::string::npos && line.substr(tab + 1) == rel)
            return static_cast<unsigned>(std::strtoul(line.c_str(), nullptr, 16));
    }
    return std::nullopt;
}

void MachineFiles::setSidecarAttributes(const std::string& hostPath, unsigned attributes) const {
    std::string file = root_ + "/.deskforge/attributes";
    std::string rel = hostPath.substr(std::min(hostPath.size(), root_.size() + 1));
    std::ostringstream out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        auto tab = line.find('\t');
        if (tab != std::string::npos && line.substr(tab + 1) == rel) continue;
        out << line << "\n";
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", attributes);
    out << hex << "\t" << rel << "\n";
    ::mkdir((root_ + "/.deskforge").c_str(), 0755);
    registry::writeFileAtomically(file, out.str());
}

namespace {

// Where a file's attributes are kept.
enum class AttributeStore { Ntfs, DosAttrib, Sidecar };

// A Windows drive mounted with ntfs-3g (or the kernel's ntfs3) shows the attributes Windows
// itself reads as this extended attribute, 32 bits, big-endian.
constexpr const char* kNtfsAttrib = "system.ntfs_attrib_be";

std::optional<unsigned> ntfsAttributes(const std::string& path) {
    unsigned char b[4];
    if (::getxattr(path.c_str(), kNtfsAttrib, b, sizeof b) != 4) return std::nullopt;
    return static_cast<unsigned>(b[0]) << 24 | static_cast<unsigned>(b[1]) << 16 |
           static_cast<unsigned>(b[2]) << 8 | static_cast<unsigned>(b[3]);
}

// Wine's "0x22" (hex text, perhaps followed by a NUL or more that Samba adds).
std::optional<unsigned> dosAttributes(const std::string& path) {
    char buf[64];
    const ssize_t n = ::getxattr(path.c_str(), kDosAttrib, buf, sizeof buf - 1);
    if (n <= 0) return std::nullopt;
    buf[n] = '\0';
    char* end = nullptr;
    const unsigned long v = std::strtoul(buf, &end, 16);
    if (end == buf) return std::nullopt;
    return static_cast<unsigned>(v);
}

} // namespace

unsigned MachineFiles::attributes(const std::string& hostPath) const {
    if (auto a = ntfsAttributes(hostPath)) return *a;
    if (wine_) {
        if (auto a = dosAttributes(hostPath)) return *a;
        if (auto a = sidecarAttributes(hostPath)) return *a;
    } else {
        if (auto a = sidecarAttributes(hostPath)) return *a;
        // What earlier versions kept on copies of a drive.
        if (auto a = dosAttributes(hostPath)) return *a;
    }
    // Wine shows names starting with a dot as hidden (Windows on its own drive does not).
    auto slash = hostPath.rfind('/');
    const bool dotName =
        slash != std::string::npos && hostPath.size() > slash + 1 && hostPath[slash + 1] == '.';
    return dotName ? kHidden : 0;
}

bool MachineFiles::isHidden(const std::string& hostPath) const {
    return (attributes(hostPath) & kHidden) != 0;
}

void MachineFiles::setHidden(const std::string& hostPath, bool hidden) const {
    requireWritable(hostPath);
    AttributeStore store = AttributeStore::Sidecar;
    if (ntfsAttributes(hostPath))
        store = AttributeStore::Ntfs;
    else if (wine_)
        store = AttributeStore::DosAttrib;
    unsigned value = attributes(hostPath);
    value = hidden ? (value | kHidden) : (value & ~kHidden);
    if (store == AttributeStore::Ntfs) {
        const unsigned char b[4] = {
            static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
            static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
        if (::setxattr(hostPath.c_str(), kNtfsAttrib, b, sizeof b, 0) != 0)
            throw RegistryAccessError(text::trf("%1: Die Attribute können nicht gesetzt werden: %2",
                                                hostPath, std::strerror(errno)));
        return;
    }
    if (store == AttributeStore::DosAttrib) {
        char text[16];
        const int len = std::snprintf(text, sizeof text, "0x%x", value);
        if (::setxattr(hostPath.c_str(), kDosAttrib, text, static_cast<std::size_t>(len), 0) == 0)
            return;
        if (errno != ENOTSUP && errno != EPERM)
            throw RegistryAccessError(
                ravelin::text::trf("%1: Die Attribute können nicht gesetzt werden: %2", hostPath,
                                   std::strerror(errno)));
    }
    setSidecarAttributes(hostPath, value);
}

} // namespace ravelin::machine
