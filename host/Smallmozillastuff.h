// Firefox profiles: where Firefox keeps them, which one it starts with, and whether a
// running Firefox holds one.
//
// The Firefox root is the machine's (the user's application-data folder + "Mozilla\Firefox")
// unless a front end points the host at another one with SetFirefoxRoot, such as a Linux
// user's ~/.mozilla/firefox. Firefox files each installation under a key made from its
// folder ([Install<key>] in profiles.ini and installs.ini); the profile it starts with is
// that section's Default=. A front end may choose another profile (SetFirefoxProfile).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ravelin {

using TSmallStringList = std::vector<std::string>;

// "" goes back to the machine's root. The folder is made writable for the page's changes,
// and so is every profile folder its profiles.ini names outside it.
void SetFirefoxRoot(const std::string& dir);
// The root given with SetFirefoxRoot, "" when it is the machine's.
const std::string& ExternalFirefoxRoot();
// The host path of the root in use (with a trailing '/'), "" when there is none.
std::string FirefoxRoot();

// Where the installation is (its key, its version, its policies): "" goes back to finding
// it (the machine's installed Firefox, or the Firefox installed on this computer for
// another Firefox root).
void SetFirefoxInstallDir(const std::string& dir);
const std::string& FirefoxInstallDirChoice();

// The 64-bit hash Firefox keys installations with (CityHash64, version 1.0).
std::uint64_t FirefoxCityHash64(const void* data, std::size_t length);
// The key of an installation folder as Firefox writes it: the hash of the folder's path
// in UTF-16LE, 16 upper-case hexadecimal digits.
std::string FirefoxInstallHash(const std::string& installDir);

struct FirefoxInstallation {
    std::string dir; // the host path of its folder
    std::string key; // the key of its [Install...] section
    bool preferred;  // the one a user starts (the `firefox` on PATH, the machine's)
};
// The installations of the Firefox whose root is in use, the one a user starts first: the
// machine's (its registry) for the machine's root, else those on this computer.
std::vector<FirefoxInstallation> FirefoxInstallations();

struct FirefoxProfile {
    std::string name;                  // Name=, "" when it has none
    std::string path;                  // the host path, ending with '/'
    bool exists = false;               // its folder is there
    std::vector<std::string> installs; // the installations whose profile it is (folders,
                                       // or "Installation <key>" for one not found here)
};
// The profiles of the root in use, the one Firefox starts with (or the one chosen with
// SetFirefoxProfile) first; missing folders included.
std::vector<FirefoxProfile> FirefoxProfiles();

// The profile the pages edit: a Name= of profiles.ini or a folder; "" for the one Firefox
// starts with. Throws RegistryAccessError when neither a profile nor a folder has that name.
void SetFirefoxProfile(const std::string& nameOrPath);
const std::string& FirefoxProfileChoice();

// Fills `list` with the profile folders of the root (host paths, each ending with '/'),
// the profile Firefox starts with (or the chosen one) first, even when its folder is
// missing (the editor then says so); other missing folders are left out. Clears it first.
void GetFireFoxProfilePaths(TSmallStringList& list);

// The profile folders that profiles.ini (and installs.ini, "" when there is none) name
// under `root`, the default first: the Default= of the section of the first of
// `installKeys` that has one (the installations on this computer), else the profile
// marked Default=1, else the first installation's section, else file order. Absolute
// Path= values are turned into host paths. Folders are not checked for existence.
std::vector<std::string> ProfilePathsFromIni(const std::string& root,
                                             const std::string& profilesIni,
                                             const std::string& installsIni,
                                             const std::vector<std::string>& installKeys = {});

// Empty while no Firefox uses the profile; otherwise a sentence saying which one does. A
// lock left behind by a Firefox that is no longer running does not count.
std::string FirefoxProfileInUse(const std::string& profileDir);
// Empty when `path` may be written; else why not: it lies in a profile a running Firefox
// holds, which would overwrite the change when it exits.
std::string FirefoxWriteRefusal(const std::string& path);
// Throws RegistryAccessError with FirefoxWriteRefusal's reason.
void RequireFirefoxClosed(const std::string& path);

} // namespace ravelin
