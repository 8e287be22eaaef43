// A machine: a Windows system seen from outside, as a Wine prefix or a mounted Windows
// system drive. Its registry, its files, what its registry says about it (version,
// edition, installed programs), its services, and what a registry cannot tell, from
// machine.json beside the hives.
#pragma once

#include "host/machine/MachineFiles.h"
#include "host/registry/Registry.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ravelin::machine {

struct Account {
    std::string name;
    std::string privilege; // "user", "admin" or "guest"
};

// What machine.json holds; every field has a sound default when the file or the field is
// absent.
struct MachineConfig {
    std::string user;              // the current user; default: the prefix's user folder
    bool admin = true;             // whether the current user is an administrator
    bool wow64 = false;            // the module runs as a 32-bit process on 64-bit Windows
    std::vector<Account> accounts; // default: the current user as administrator
    std::map<std::string, std::string> services; // service name -> "running" or "stopped"
};

// The host's file-version record: 0.0.0.0 when the program is absent.
struct TFileVersionIdentification {
    std::uint16_t Major = 0;
    std::uint16_t Minor = 0;
    std::uint16_t Release = 0;
    std::uint16_t Build = 0;
    std::string text() const;
};
TFileVersionIdentification parseVersion(const std::string& text);

// What the registry says about the Windows installed on the machine.
struct WindowsIdentity {
    int osCode = 0;   // the host's CurrentOS (see osCodeFor)
    int platform = 2; // 1: 9x family, 2: NT family
    int servicePack = 0;
    std::string version; // "5.1", "4.10.2222", ...
    std::string build;
    std::string productName;
    std::string edition; // "Professional", "Home Edition", "HomePremium", "Ultimate", ...
    std::uint32_t suiteMask = 0;
    bool is64 = false;
};

// The host's operating-system codes, in one table:
//   9x family:  1 Windows 95 (4.00), 3 Windows 98 and 98 SE (4.10), 4 Windows Me (4.90)
//   NT family:  2 Windows NT 4.0, 5 Windows 2000 (5.0), 6 Windows XP and Server 2003
//               (5.1, 5.2), 7 Windows Vista and Server 2008 (6.0), 8 Windows 7 (6.1),
//               9 Windows 8 (6.2), 10 Windows 8.1 (6.3), 11 Windows 10 and later (10.0)
int osCodeFor(int platform, int major, int minor);

struct LaunchRequest {
    std::string program;
    std::string parameters;
    std::string folder;
    int showCommand = 1;
    std::string verb;
};

// Programs are never run: a request to start one, or to open a web page, is recorded.
class Launcher {
  public:
    void record(LaunchRequest request) {
        if (onRecord) onRecord(request);
        requests_.push_back(std::move(request));
    }
    std::function<void(const LaunchRequest&)> onRecord; // a front end that reports each request
    const std::vector<LaunchRequest>& requests() const { return requests_; }
    void clear() { requests_.clear(); }

  private:
    std::vector<LaunchRequest> requests_;
};

enum class MachineKind { Wine, Windows };

class Machine {
  public:
    // Throws RegistryAccessError / RegistryFormatError with a message for the user.
    static std::unique_ptr<Machine> open(const std::string& dir);

    MachineKind kind() const { return kind_; }
    const std::string& root() const { return root_; }
    registry::Registry& registry() { return *registry_; }
    MachineFiles& files() { return files_; }
    const MachineConfig& config() const { return config_; }
    MachineConfig& config() { return config_; }
    Launcher& launcher() { return launcher_; }

    WindowsIdentity identity();
    TFileVersionIdentification ieVersion();
    TFileVersionIdentification firefoxVersion();
    TFileVersionIdentification operaVersion();
    TFileVersionIdentification outlookVersion();
    // The Windows folders: "C:\WINDOWS", "C:\WINDOWS\system32".
    std::string windowsDir();
    std::string systemDir();
    // A shell folder by its number (CSIDL): 5 documents, 6 favourites, 16 desktop, 26
    // application data, 28 local application data, 35 common application data, 36 Windows,
    // 37 system, 38 program files, ...; "" when unknown.
    std::string shellFolder(int csidl);
    // The Firefox profile folders (host paths) and the Opera profile folder ("" if none).
    std::vector<std::string> firefoxProfiles();
    std::string operaProfile();

    // Services, with the host's codes: start type 0 keep (as a request), 1 disabled,
    // 2 automatic, 3 manual (0 when the service or its value is missing); state 4 running,
    // 1 stopped (0 when unknown). Start types live where Windows keeps them; run states in
    // machine.json.
    bool serviceExists(const std::string& name);
    int serviceStartType(const std::string& name);
    int serviceState(const std::string& name);
    // action 0 none, 1 start, 2 stop. Returns false when the service does not exist.
    bool configureService(const std::string& name, int startType, int action);
    std::vector<std::string> dependentServices(const std::string& name);
    void saveConfig();              // writes machine.json
    std::string configJson() const; // what saveConfig writes

    // File-system redirection of an emulated 32-bit process (System32 -> SysWOW64).
    bool redirectionEnabled() const { return redirection_; }
    void setRedirectionEnabled(bool on) { redirection_ = on; }
    bool emulatesWow64();
    // hostPath with the redirection applied.
    std::string resolve(const std::string& windowsPath);

  private:
    Machine(std::string root, MachineKind kind, std::unique_ptr<registry::Registry> reg);
    void loadConfig();
    std::string userProfileFolder();

    std::string root_;
    MachineKind kind_;
    std::unique_ptr<registry::Registry> registry_;
    MachineFiles files_;
    MachineConfig config_;
    Launcher launcher_;
    bool redirection_ = true;
};

} // namespace ravelin::machine
