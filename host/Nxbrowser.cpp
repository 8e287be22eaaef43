#include "host/Nxbrowser.h"

#include "host/Nxregistry.h"
#include "host/machine/ProfileFile.h"
#include "host/registry/FileUtil.h"
#include "host/text/Text.h"

#include <cstring>
#include <sys/stat.h>

namespace ravelin {

namespace {

std::uint32_t le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

bool isFile(const std::string& p) {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string hostPathOf(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    auto* m = CurrentMachine();
    return m ? m->files().hostPath(path) : std::string();
}

} // namespace

std::string IEProgramFile() {
    std::string path = GetRegStringValueDef(
        HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE",
        "", "", {2});
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        path = path.substr(1, path.size() - 2);
    if (!path.empty() && NXFileExists(path)) return path;
    std::string programs =
        GetRegStringValueDef(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                             "ProgramFilesDir", "C:\\Program Files", {2});
    path = programs + "\\Internet Explorer\\iexplore.exe";
    return NXFileExists(path) ? path : std::string();
}

TFileVersionIdentification FileVersionOfBytes(const std::string& bytes) {
    // A Windows program starts with "MZ"; its version resource holds the fixed file
    // information, which starts with this signature on a 32-bit boundary.
    if (bytes.size() < 64 || bytes.compare(0, 2, "MZ") != 0) return {};
    static const char kSignature[] = {'\xBD', '\x04', '\xEF', '\xFE'};
    for (std::size_t at = 0; at + 16 <= bytes.size(); at += 4) {
        if (std::memcmp(bytes.data() + at, kSignature, 4) != 0) continue;
        const std::uint32_t structVersion = le32(bytes, at + 4);
        if (structVersion != 0x00010000) continue;
        const std::uint32_t ms = le32(bytes, at + 8), ls = le32(bytes, at + 12);
        TFileVersionIdentification v;
        v.Major = static_cast<std::uint16_t>(ms >> 16);
        v.Minor = static_cast<std::uint16_t>(ms & 0xFFFF);
        v.Release = static_cast<std::uint16_t>(ls >> 16);
        v.Build = static_cast<std::uint16_t>(ls & 0xFFFF);
        return v;
    }
    return {};
}

TFileVersionIdentification FileVersionOf(const std::string& path) {
    const std::string host = hostPathOf(path);
    if (!isFile(host)) return {};
    try {
        return FileVersionOfBytes(registry::readWholeFile(host));
    } catch (const RegistryAccessError&) {
        return {};
    }
}

std::vector<std::string> GetPPSectionNames(const std::string& file) {
    machine::ProfileFile ini;
    if (!machine::ProfileFile::load(hostPathOf(file), ini)) return {};
    return ini.sections();
}

int AnsiCompareText(const std::string& a, const std::string& b) {
    return text::foldName(a).compare(text::foldName(b));
}

} // namespace ravelin
