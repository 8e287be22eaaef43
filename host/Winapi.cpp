#include "host/Winapi.h"

#include "host/Nxsystem.h"
#include "host/machine/PeResources.h"
#include "host/text/Text.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace ravelin {

namespace {

std::string hostPath(const std::string& windowsPath) {
    if (!windowsPath.empty() && windowsPath[0] == '/') return windowsPath;
    machine::Machine* m = CurrentMachine();
    return m ? m->resolve(windowsPath) : std::string();
}

using text::lower;

// "*" and "?" over bytes, ignoring ASCII case, as the file system matches short patterns.
bool matches(const std::string& name, const std::string& pattern) {
    std::size_t n = 0, p = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace

int NetUserEnum(std::vector<USER_INFO_1>& buffer, std::size_t maxEntries, DWORD& resumeHandle) {
    buffer.clear();
    machine::Machine* m = CurrentMachine();
    if (!m) return NERR_Success;
    const auto& accounts = m->config().accounts;
    std::size_t i = resumeHandle;
    for (; i < accounts.size() && buffer.size() < std::max<std::size_t>(maxEntries, 1); ++i) {
        const std::string& privilege = accounts[i].privilege;
        buffer.push_back({accounts[i].name, privilege == "admin"   ? USER_PRIV_ADMIN
                                            : privilege == "guest" ? USER_PRIV_GUEST
                                                                   : USER_PRIV_USER});
    }
    resumeHandle = static_cast<DWORD>(i);
    return i < accounts.size() ? ERROR_MORE_DATA : NERR_Success;
}

void NetApiBufferFree(std::vector<USER_INFO_1>& buffer) {
    buffer.clear();
    buffer.shrink_to_fit();
}

std::string GetUserNameW() {
    machine::Machine* m = CurrentMachine();
    return m ? m->config().user : std::string();
}

std::string OS_Type_Strings(int os) {
    switch (os) {
    case 1:
        return "95";
    case 2:
        return "NT 4.0";
    case 3:
        return "98";
    case 4:
        return "ME";
    case 5:
        return "2000";
    case 6:
        return "XP";
    case 7:
        return "Vista";
    case 8:
        return "7";
    case 9:
        return "8";
    case 10:
        return "8.1";
    case 11:
        return "10";
    default:
        return "";
    }
}

std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    const std::string dir = hostPath(folder);
    std::error_code ec;
    if (dir.empty() || !std::filesystem::is_directory(dir, ec)) return names;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name == "." || name == ".." || !it->is_regular_file(ec)) continue;
        if (matches(name, pattern)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return text::compareNames(a, b) < 0;
    });
    return names;
}

bool LoadStringFromDataFile(const std::string& file, unsigned id, std::string& out) {
    out.clear();
    const std::string path = hostPath(file);
    if (path.empty()) return false;
    auto text = machine::readFileStringResource(path, id, machine::kLangGerman);
    if (!text) return false;
    out = *text;
    return true;
}

std::string GetIconHandle(const std::string& file) {
    const std::string found = FindFile(file);
    const std::string path = found.empty() ? std::string() : hostPath(found);
    return path.empty() ? file : path;
}

} // namespace ravelin
