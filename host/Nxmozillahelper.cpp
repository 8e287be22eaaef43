#include "host/Nxmozillahelper.h"

#include "host/Nxsystem.h"
#include "host/Smallmozillastuff.h"
#include "host/machine/ProfileFile.h"

#include <algorithm>

namespace ravelin {

machine::TFileVersionIdentification ProfileLastVersion(const std::string& profileDir) {
    machine::ProfileFile ini;
    std::string dir = profileDir;
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    if (!machine::ProfileFile::load(dir + "compatibility.ini", ini)) return {};
    // "115.3.1esr_20230925175359/20230925175359": the version ends at the build id.
    std::string last = ini.get("Compatibility", "LastVersion", "");
    return machine::parseVersion(last.substr(0, last.find('_')));
}

machine::TFileVersionIdentification InstallationVersion(const std::string& installDir) {
    // The application's own file sits beside the program in older builds, in browser/ in
    // newer ones (the one beside the program then only points there).
    for (const char* file : {"/browser/application.ini", "/application.ini"}) {
        machine::ProfileFile ini;
        if (!machine::ProfileFile::load(installDir + file, ini)) continue;
        auto v = machine::parseVersion(ini.get("App", "Version", ""));
        if (v.Major) return v;
    }
    return {};
}

machine::TFileVersionIdentification GetFirefoxVersion() {
    TSmallStringList profiles;
    GetFireFoxProfilePaths(profiles);
    const machine::TFileVersionIdentification last = profiles.empty()
                                                         ? machine::TFileVersionIdentification{}
                                                         : ProfileLastVersion(profiles.front());
    if (ExternalFirefoxRoot().empty()) {
        machine::TFileVersionIdentification installed;
        if (machine::Machine* m = CurrentMachine()) installed = m->firefoxVersion();
        return installed.Major ? installed : last;
    }
    // Another root is the Firefox of this computer: the installation that starts with the
    // profile knows the version that reads the files next.
    const auto installations = FirefoxInstallations();
    const auto all = FirefoxProfiles();
    if (!all.empty())
        for (const auto& i : installations)
            if (std::find(all.front().installs.begin(), all.front().installs.end(), i.dir) !=
                all.front().installs.end())
                if (auto v = InstallationVersion(i.dir); v.Major) return v;
    if (last.Major) return last;
    for (const auto& i : installations)
        if (auto v = InstallationVersion(i.dir); v.Major) return v;
    return {};
}

} // namespace ravelin
