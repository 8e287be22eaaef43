#include "app/deskforge/MachineCommand.h"

#include "host/machine/Machine.h"
#include "host/machine/Templates.h"
#include "host/text/Translate.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>

namespace ravelin::app {

int createMachineCommand(const std::string& dir, const std::string& templateName, Console& c,
                         bool hives) {
    try {
        machine::createMachine(dir, templateName, machine::templatesFolder(), hives);
    } catch (const std::exception& e) {
        c.err << text::trf("FEHLER: %1", e.what()) << "\n";
        return 1;
    }
    c.out << text::trf("Die Maschine \"%1\" wurde in %2 angelegt.", templateName, dir) << "\n";
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
        return s.empty() ? text::tr("nicht installiert") : s;
    };
    c.out << (wine ? text::trf("Maschine:       %1 (Wine-Präfix)", m.root())
                   : text::trf("Maschine:       %1 (Windows-Laufwerk)", m.root()))
          << "\n";
    std::string windows = (id.productName.empty() ? "?" : id.productName) + " " + id.version +
                          (id.build.empty() ? "" : " Build " + id.build) +
                          (id.servicePack ? " SP" + std::to_string(id.servicePack) : "") +
                          (id.edition.empty() ? "" : ", " + id.edition) + ", " +
                          (id.is64 ? text::tr("64 Bit") : text::tr("32 Bit"));
    c.out << text::trf("Windows:        %1", windows) << "\n";
    char mask[16];
    std::snprintf(mask, sizeof mask, "%x", static_cast<unsigned>(id.suiteMask));
    c.out << text::trf("OS-Kennung:     %1 (Plattform %2, Suite-Maske 0x%3)",
                       std::to_string(id.osCode), std::to_string(id.platform), mask)
          << "\n";
    c.out << (m.emulatesWow64() ? text::tr("32-Bit-Prozess: ja (WOW64)")
                                : text::tr("32-Bit-Prozess: nein"))
          << "\n";
    c.out << (m.config().admin ? text::trf("Benutzer:       %1 (Administrator)", m.config().user)
                               : text::trf("Benutzer:       %1", m.config().user))
          << "\n";
    std::string accounts;
    for (std::size_t i = 0; i < m.config().accounts.size(); ++i)
        accounts += (i ? ", " : "") + m.config().accounts[i].name + " (" +
                    m.config().accounts[i].privilege + ")";
    c.out << text::trf("Konten:         %1", accounts) << "\n";
    c.out << text::trf("Internet Explorer: %1", orNone(ie)) << "\n";
    c.out << text::trf("Firefox:        %1", orNone(firefox)) << "\n";
    for (const auto& p : profiles)
        c.out << text::trf("  Profil:       %1", p) << "\n";
    c.out << text::trf("Opera:          %1", orNone(opera)) << "\n";
    if (!operaProfile.empty()) c.out << text::trf("  Profil:       %1", operaProfile) << "\n";
    c.out << text::trf("Outlook:        %1", orNone(outlook)) << "\n";
    c.out << text::trf("Windows-Ordner: %1", m.windowsDir()) << "\n";
    c.out << text::trf("Favoriten:      %1", m.shellFolder(6)) << "\n";
    return 0;
}

} // namespace ravelin::app
