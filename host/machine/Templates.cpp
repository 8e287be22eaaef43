#include "host/machine/Templates.h"

#include "host/machine/MachineFiles.h"
#include "host/machine/PeResources.h"
#include "host/registry/FileUtil.h"
#include "host/registry/NtHiveFile.h"
#include "host/registry/RegFile.h"
#include "host/registry/Registry.h"
#include "host/registry/WineRegistryFile.h"
#include "host/text/Translate.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;

namespace ravelin::machine {

namespace {

struct Template {
    std::string name;
    fs::path dir;
    nlohmann::json manifest;
};

nlohmann::json readManifest(const fs::path& dir) {
    fs::path file = dir / "template.json";
    std::string text = registry::readWholeFile(file.string());
    try {
        return nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        throw RegistryFormatError(file.string(), 0,
                                  ravelin::text::trf("Das ist kein gültiges JSON: %1", e.what()));
    }
}

// The template and the ones it builds on, bases first.
void chain(const fs::path& folder, const std::string& name, std::vector<Template>& out,
           int depth = 0) {
    if (depth > 8)
        throw RegistryFormatError((folder / name).string(), 0,
                                  text::tr("Die Vorlagen bauen im Kreis aufeinander auf."));
    fs::path dir = folder / name;
    if (!fs::is_regular_file(dir / "template.json"))
        throw RegistryAccessError(
            text::trf("Es gibt keine Vorlage \"%1\" (Vorlagen: %2).", name, [&] {
                std::string all;
                for (const auto& n : templateNames(folder.string()))
                    all += (all.empty() ? "" : ", ") + n;
                return all;
            }()));
    nlohmann::json manifest = readManifest(dir);
    for (const auto& base : manifest.value("base", nlohmann::json::array()))
        chain(folder, base.get<std::string>(), out, depth + 1);
    out.push_back({name, dir, manifest});
}

void applyRegFile(registry::Registry& reg, const fs::path& file) {
    registry::RegFileContent content =
        registry::parseRegFile(registry::readWholeFile(file.string()), file.string());
    using Kind = registry::RegFileOperation::Kind;
    for (const auto& op : content.operations) {
        HKEY root = 0;
        std::string path;
        if (!registry::Registry::splitKeyName(op.key, root, path) || path.empty())
            throw RegistryFormatError(file.string(), op.line,
                                      text::trf("Ungültiger Schlüsselname \"%1\"", op.key));
        int rc = ERROR_SUCCESS;
        switch (op.kind) {
        case Kind::CreateKey:
            rc = reg.createKey(root, path, {2});
            break;
        case Kind::DeleteKey:
            reg.deleteKey(root, path, {2});
            break;
        case Kind::SetValue:
            rc = reg.setValue(root, path, op.value.name, op.value.type, op.value.data, {2});
            break;
        case Kind::DeleteValue:
            reg.deleteValue(root, path, op.value.name, {2});
            break;
        }
        if (rc != ERROR_SUCCESS)
            throw RegistryFormatError(file.string(), op.line,
                                      text::trf("%1 kann nicht geschrieben werden.", op.key));
    }
}

// A template's registry content: registry.reg first, then registry-*.reg in name order, so
// that each program's sample settings can live in a file of its own.
std::vector<fs::path> registryFiles(const fs::path& dir) {
    std::vector<fs::path> extra;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.starts_with("registry-") && name.ends_with(".reg"))
            extra.push_back(entry.path());
    }
    std::sort(extra.begin(), extra.end());
    std::vector<fs::path> files;
    if (fs::is_regular_file(dir / "registry.reg")) files.push_back(dir / "registry.reg");
    files.insert(files.end(), extra.begin(), extra.end());
    return files;
}

// Copies a template's files onto the C: drive; on a Windows drive a folder that exists
// in another case ("users" for "Users") is the same folder, as Windows sees it.
void copyFiles(const fs::path& from, const fs::path& to, const MachineFiles* drive = nullptr) {
    if (!fs::is_directory(from)) return;
    for (const auto& entry : fs::recursive_directory_iterator(from)) {
        fs::path rel = fs::relative(entry.path(), from);
        fs::path target = to / rel;
        if (drive) {
            std::string windows = "C:";
            for (const auto& part : rel)
                windows += "\\" + part.string();
            target = drive->hostPath(windows);
        }
        if (entry.is_directory()) {
            fs::create_directories(target);
        } else if (entry.path().filename() != ".keep") { // .keep only holds an empty folder in git
            fs::create_directories(target.parent_path());
            fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
        }
    }
}

} // namespace

std::string templatesFolder() {
    if (const char* env = std::getenv("DESKFORGE_TEMPLATES"); env && *env) return env;
    std::error_code ec;
    auto exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto installed = exe.parent_path().parent_path() / "share" / "deskforge" / "templates";
        if (fs::is_directory(installed, ec)) return installed.string();
    }
    return RAVELIN_TEMPLATES_DIR;
}

std::vector<std::string> templateNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (fs::is_regular_file(entry.path() / "template.json") &&
            fs::is_regular_file(entry.path() / "machine.json"))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void createMachine(const std::string& target, const std::string& templateName,
                   const std::string& folder, bool hives) {
    std::error_code ec;
    const std::string dir = fs::absolute(target).string();
    if (fs::exists(dir, ec) && !fs::is_empty(dir, ec))
        throw RegistryAccessError(text::trf("%1: Abgelehnt: Der Ordner ist nicht leer.", dir));
    std::vector<Template> templates;
    chain(folder, templateName, templates);
    const Template& own = templates.back();
    if (!fs::is_regular_file(own.dir / "machine.json"))
        throw RegistryAccessError(
            text::trf("\"%1\" ist eine Grundlage anderer Vorlagen, keine Maschine.", templateName));
    std::string arch = own.manifest.value("arch", "win32");
    if (arch != "win32" && arch != "win64")
        throw RegistryFormatError((own.dir / "template.json").string(), 0,
                                  text::tr("arch muss win32 oder win64 sein."));
    bool link = false;
    for (const auto& t : templates)
        link = t.manifest.value("controlSetLink", link);

    std::unique_ptr<registry::Registry> reg;
    fs::path driveC;
    if (hives) {
        // A Windows system drive: the hive files where Windows keeps them.
        fs::path config = fs::path(dir) / "Windows" / "System32" / "config";
        fs::create_directories(config);
        for (const char* name : {"SOFTWARE", "SYSTEM", "DEFAULT"})
            registry::NtHive::create((config / name).string());
        nlohmann::json account;
        try {
            account =
                nlohmann::json::parse(registry::readWholeFile((own.dir / "machine.json").string()));
        } catch (const nlohmann::json::parse_error& e) {
            throw RegistryFormatError((own.dir / "machine.json").string(), 0,
                                      text::trf("Das ist kein gültiges JSON: %1", e.what()));
        }
        const std::string user = account.is_object() ? account.value("user", "user") : "user";
        fs::path profile = fs::path(dir) / "Users" / user;
        fs::create_directories(profile);
        registry::NtHive::create((profile / "NTUSER.DAT").string());
        reg = registry::Registry::openMachine(dir, user);
        if (arch == "win64" &&
            reg->createKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node", {2}) != ERROR_SUCCESS)
            throw RegistryAccessError(
                text::trf("%1: SOFTWARE\\Wow6432Node kann nicht angelegt werden.", dir));
        if (link) {
            // A hive file has no CurrentControlSet: Windows makes it at boot from Select.
            for (const char* value : {"Current", "Default", "LastKnownGood"})
                reg->setValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Select", value, REG_DWORD,
                              makeDwordData(1), {2});
            reg->setValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Select", "Failed", REG_DWORD,
                          makeDwordData(0), {2});
            reg->createKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001", {2});
        }
        driveC = dir;
    } else {
        fs::create_directories(fs::path(dir) / "drive_c");
        fs::create_directories(fs::path(dir) / "dosdevices");
        fs::create_symlink("../drive_c", fs::path(dir) / "dosdevices" / "c:", ec);

        const std::string sid = "S-1-5-21-0-0-0-1000";
        registry::WineHive::create(dir + "/system.reg", "REGISTRY\\\\Machine", arch)->save();
        registry::WineHive::create(dir + "/user.reg", "REGISTRY\\\\User\\\\" + sid, arch)->save();
        registry::WineHive::create(dir + "/userdef.reg", "REGISTRY\\\\User\\\\.Default", arch)
            ->save();
        reg = registry::Registry::openMachine(dir);
        driveC = fs::path(dir) / "drive_c";
    }
    for (const auto& t : templates)
        for (const auto& file : registryFiles(t.dir))
            applyRegFile(*reg, file);
    if (link && !hives &&
        reg->createLinkKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet",
                           "\\REGISTRY\\Machine\\System\\ControlSet001") != ERROR_SUCCESS)
        throw RegistryAccessError(
            text::trf("%1: SYSTEM\\CurrentControlSet kann nicht angelegt werden.", dir));
    reg->flush();

    MachineFiles files(dir, !hives);
    for (const auto& t : templates)
        copyFiles(t.dir / "files", driveC, hives ? &files : nullptr);
    for (const auto& t : templates) {
        auto programs = t.manifest.value("screenSavers", nlohmann::json::array());
        for (const auto& program : t.manifest.value("programs", nlohmann::json::array()))
            programs.push_back(program);
        for (const auto& saver : programs) {
            fs::path file =
                hives ? fs::path(files.hostPath("C:\\" + saver.at("file").get<std::string>()))
                      : driveC / saver.at("file").get<std::string>();
            fs::create_directories(file.parent_path());
            // A saver's display name is its string 1, in each language it comes in.
            StringTables tables{{kLangGerman, {{1, saver.at("description").get<std::string>()}}}};
            if (saver.contains("descriptionEn"))
                tables[kLangEnglish][1] = saver.at("descriptionEn").get<std::string>();
            registry::writeFileAtomically(file.string(), makeStringResourceImage(tables));
        }
        for (const auto& hidden : t.manifest.value("hidden", nlohmann::json::array())) {
            std::string rel = hidden.get<std::string>();
            files.setHidden(hives ? files.hostPath("C:\\" + rel) : (driveC / rel).string(), true);
        }
    }
    fs::copy_file(own.dir / "machine.json", fs::path(dir) / "machine.json",
                  fs::copy_options::overwrite_existing);
}

} // namespace ravelin::machine
