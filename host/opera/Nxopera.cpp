#include "host/opera/Nxopera.h"

#include "host/Nxregistry.h"
#include "host/Nxsystem.h"

#include <cctype>
#include <cstdlib>

namespace ravelin {

namespace {

constexpr const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kAppPaths =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Opera.exe";

std::string withBackslash(std::string dir) {
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    return dir;
}

std::string lastComponent(std::string dir) {
    while (!dir.empty() && dir.back() == '\\')
        dir.pop_back();
    auto slash = dir.rfind('\\');
    return slash == std::string::npos ? dir : dir.substr(slash + 1);
}

opera::OperaFile fileAt(const std::string& windowsPath) {
    machine::Machine* m = CurrentMachine();
    if (!m || windowsPath.empty()) return {};
    return opera::OperaFile(m->files().hostPath(windowsPath), windowsPath);
}

} // namespace

int ParseOperaVersion(const std::string& text) {
    std::size_t i = 0;
    auto number = [&](std::size_t& digits) {
        long v = 0;
        digits = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && digits < 6) {
            v = v * 10 + (text[i++] - '0');
            ++digits;
        }
        return v;
    };
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::size_t d1 = 0, d2 = 0;
    const long major = number(d1);
    if (d1 == 0) return 0;
    if (i >= text.size() || text[i] != '.') return static_cast<int>(major); // 9.x wrote "964"
    ++i;
    long minor = number(d2);
    if (d2 == 1) minor *= 10; // "9.5" is 9.50
    while (d2 > 2) {
        minor /= 10;
        --d2;
    }
    return static_cast<int>(major * 100 + minor);
}

TNXOpera::TNXOpera() = default;
TNXOpera::~TNXOpera() = default;

void TNXOpera::Init() {
    installed_ = false;
    installDir_.clear();
    installedVersion_ = 0;
    profileDir_.clear();
    prefs_ = TNXOpera_Prefs();
    search_ = TNXOpera_Search();
    speedDial_.reset();
    machine::Machine* m = CurrentMachine();
    if (!m) return;

    // The installation, in the native view first, then the 32-bit one.
    for (RegOptions view : {RegOptions{2}, RegOptions{1}}) {
        std::vector<std::string> keys;
        EnumRegKeysEx(HKEY_LOCAL_MACHINE, kUninstall, keys, view);
        for (const auto& k : keys) {
            const std::string key = std::string(kUninstall) + "\\" + k;
            if (GetRegStringValueDef(HKEY_LOCAL_MACHINE, key, "DisplayName", "", view)
                    .rfind("Opera", 0) != 0)
                continue;
            installDir_ =
                GetRegStringValueDef(HKEY_LOCAL_MACHINE, key, "InstallLocation", "", view);
            installedVersion_ = ParseOperaVersion(
                GetRegStringValueDef(HKEY_LOCAL_MACHINE, key, "DisplayVersion", "", view));
            break;
        }
        if (installDir_.empty())
            installDir_ = GetRegStringValueDef(HKEY_LOCAL_MACHINE, kAppPaths, "Path", "", view);
        if (!installDir_.empty()) break;
    }
    if (installDir_.empty()) {
        const std::string programs = m->emulatesWow64() || m->identity().is64
                                         ? "C:\\Program Files (x86)"
                                         : GetFolderLocStr(38);
        installDir_ = programs + "\\Opera";
    }
    installDir_ = withBackslash(installDir_);
    installed_ = NXFileExists(installDir_ + "opera.exe");
    if (!installed_) return;

    // The profile: the multi-user folder first, then the install folder's own.
    const std::string appData = GetFolderLocStr(26);
    const std::string candidates[] = {
        withBackslash(appData + "\\Opera\\" + lastComponent(installDir_)),
        installDir_,
    };
    std::string prefsFile;
    bool ten = false;
    for (const auto& dir : candidates) {
        if (NXFileExists(dir + "operaprefs.ini")) {
            profileDir_ = dir;
            prefsFile = dir + "operaprefs.ini";
            ten = true;
            break;
        }
        if (NXFileExists(dir + "profile\\opera6.ini")) {
            profileDir_ = dir + "profile\\";
            prefsFile = profileDir_ + "opera6.ini";
            break;
        }
    }
    if (profileDir_.empty()) {
        // Files Opera has not made yet: none to read, none to write.
        prefs_ = TNXOpera_Prefs(
            {},
            fileAt(installDir_ +
                   (installedVersion_ >= 1000 ? "operaprefs_default.ini" : "operadef6.ini")),
            {});
        return;
    }
    if (ten)
        prefs_ = TNXOpera_Prefs(fileAt(prefsFile), fileAt(installDir_ + "operaprefs_default.ini"),
                                fileAt(installDir_ + "operaprefs_fixed.ini"));
    else
        prefs_ = TNXOpera_Prefs(fileAt(prefsFile), fileAt(installDir_ + "operadef6.ini"),
                                fileAt(GetSysDir() + "\\opera6.ini"));
    search_ = TNXOpera_Search(
        fileAt(profileDir_ + "search.ini"),
        {fileAt(installDir_ + "defaults\\search.ini"), fileAt(installDir_ + "search.ini")});
    if (GetVersion() >= 950)
        speedDial_ = std::make_unique<TNXOpera_SpeedDial>(fileAt(profileDir_ + "speeddial.ini"));
}

int TNXOpera::GetVersion() const {
    if (profileDir_.empty()) return 0;
    const int seen = ParseOperaVersion(prefs_.ReadString("Install", "Newest Used Version", ""));
    if (seen > 0) return seen;
    // A profile without the entry: Opera has run, so the installed version is the one.
    return installedVersion_ > 0 ? installedVersion_ : 1;
}

std::string TNXOpera::Errors() const {
    std::string out = prefs_.Errors();
    if (speedDial_ && !speedDial_->File().error().empty())
        out += (out.empty() ? "" : "\n") + speedDial_->File().error();
    return out;
}

} // namespace ravelin
