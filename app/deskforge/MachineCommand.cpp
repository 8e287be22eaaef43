#include "app/deskforge/MachineCommand.h"

#include "host/machine/Machine.h"
#include "host/machine/Templates.h"

#include <nlohmann/json.hpp>
#include <ostream>

namespace ravelin::app {

int createMachineCommand(const std::string& dir, const std::string& templateName, Console& c,
                         bool hives) {
    try {
        machine::createMachine(dir, templateName, machine::templatesFolder(), hives);
    } catch (const std::exception& e) {
        c.err << "ERROR: " << e.what() << "\n";
        return 1;
    }
    c.out << "Created the machine \"" << templateName << "\" in " << dir << "\n";
    return 0;
}

int machineInfoCommand(machine::Machine& m, bool json, Console& c) {
    auto id = m.identity();
    std::string ie = m.ieVersion().text(), firefox = m.firefoxVersion().text(),
                opera = m.operaVersion().text();
    auto outlookVersion = m.outlookVersion();
    std::string outlook = outlookVersion.Major ? std::to_string(outlookVersion.Major) + "." +
                                                     std::to_string(outlookVersion.Minor)
                                               : "";
    std::vector<std::string> profiles = m.firefoxProfiles();
    std::string operaProfile = m.operaProfile();
    const bool wine = m.kind() == machine::MachineKind::Wine;
    if (json) {
        nlohmann::ordered_json j;
        j["kind"] = wine ? "wine" : "windows";
        j["os_code"] = id.osCode;
        j["platform"] = id.platform;
        j["version"] = id.version;
        j["build"] = id.build;
        j["product_name"] = id.productName;
        j["service_pack"] = id.servicePack;
        j["edition"] = id.edition;
        j["suite_mask"] = id.suiteMask;
        j["is64"] = id.is64;
        j["wow64"] = m.emulatesWow64();
        j["ie_version"] = ie;
        j["firefox_version"] = firefox;
        j["opera_version"] = opera;
        j["outlook_version"] = outlook;
        j["user"] = m.config().user;
        j["admin"] = m.config().admin;
        j["accounts"] = nlohmann::ordered_json::array();
        for (const auto& a : m.config().accounts)
            j["accounts"].push_back({{"name", a.name}, {"privilege", a.privilege}});
        j["firefox_profiles"] = profiles;
        j["opera_profile"] = operaProfile;
        j["windows_dir"] = m.windowsDir();
        j["favorites"] = m.shellFolder(6);
        c.out << j.dump(2) << "\n";
        return 0;
    }
    auto orNone = [](const std::string& s) {
        return s.empty() ? std::string("nicht installiert") : s;
    };
    c.out << "Machine:        " << m.root() << " (" << (wine ? "Wine prefix" : "Windows drive")
          << ")\n";
    c.out << "Windows:        " << (id.productName.empty() ? "?" : id.productName) << " "
          << id.version << (id.build.empty() ? "" : " build " + id.build)
          << (id.servicePack ? " SP" + std::to_string(id.servicePack) : "")
          << (id.edition.empty() ? "" : ", " + id.edition) << ", "
          << (id.is64 ? "64-bit" : "32-bit") << "\n";
    c.out << "Host OS code:   " << id.osCode << " (platform " << id.platform << ", suite mask 0x"
          << std::hex << id.suiteMask << std::dec << ")\n";
    c.out << "32-bit process: " << (m.emulatesWow64() ? "yes (WOW64)" : "no") << "\n";
    c.out << "User:           " << m.config().user << (m.config().admin ? " (Administrator)" : "")
          << "\n";
    c.out << "Accounts:       ";
    for (std::size_t i = 0; i < m.config().accounts.size(); ++i)
        c.out << (i ? ", " : "") << m.config().accounts[i].name << " ("
              << m.config().accounts[i].privilege << ")";
    c.out << "\nInternet Explorer: " << orNone(ie) << "\n";
    c.out << "Firefox:        " << orNone(firefox) << "\n";
    for (const auto& p : profiles)
        c.out << "  profile:      " << p << "\n";
    c.out << "Opera:          " << orNone(opera)
          << (operaProfile.empty() ? "" : "\n  profile:      " + operaProfile) << "\n";
    c.out << "Outlook:        " << orNone(outlook) << "\n";
    c.out << "Windows folder: " << m.windowsDir() << "\n";
    c.out << "Favourites:     " << m.shellFolder(6) << "\n";
    return 0;
}

} // namespace ravelin::app
