#include "host/Nxmozillahelper.h"

#include "host/Nxsystem.h"
#include "host/Smallmozillastuff.h"
#include "host/machine/ProfileFile.h"

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

machine::TFileVersionIdentification GetFirefoxVersion() {
    machine::TFileVersionIdentification installed, last;
    if (machine::Machine* m = CurrentMachine()) installed = m->firefoxVersion();
    TSmallStringList profiles;
    GetFireFoxProfilePaths(profiles);
    if (!profiles.empty()) last = ProfileLastVersion(profiles.front());
    // Another root is another Firefox: its profile knows best.
    if (!ExternalFirefoxRoot().empty()) return last.Major ? last : installed;
    return installed.Major ? installed : last;
}

} // namespace ravelin
