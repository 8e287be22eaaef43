// Firefox profiles: where Firefox keeps them, which one it starts with, and whether a
// running Firefox holds one.
//
// The Firefox root is the machine's (the user's application-data folder + "Mozilla\Firefox")
// unless a front end points the host at another one with SetFirefoxRoot, such as a Linux
// user's ~/.mozilla/firefox.
#pragma once

#include <string>
#include <vector>

namespace ravelin {

using TSmallStringList = std::vector<std::string>;

// "" goes back to the machine's root. The folder is made writable for the page's changes.
void SetFirefoxRoot(const std::string& dir);
// The root given with SetFirefoxRoot, "" when it is the machine's.
const std::string& ExternalFirefoxRoot();
// The host path of the root in use (with a trailing '/'), "" when there is none.
std::string FirefoxRoot();

// Fills `list` with the profile folders of the root (host paths, each ending with '/'),
// the profile Firefox starts with first; clears it first.
void GetFireFoxProfilePaths(TSmallStringList& list);

// The profile folders that profiles.ini (and installs.ini, "" when there is none) name
// under `root`, the default first: the Default= of an installation's section, else the
// profile marked Default=1, else file order. `resolve` turns an absolute Path= into a
// host path. Folders are not checked for existence.
std::vector<std::string> ProfilePathsFromIni(const std::string& root,
                                             const std::string& profilesIni,
                                             const std::string& installsIni);

// Empty while no Firefox uses the profile; otherwise a sentence saying which one does. A
// lock left behind by a Firefox that is no longer running does not count.
std::string FirefoxProfileInUse(const std::string& profileDir);

} // namespace ravelin
