// Unit Nxopera: Opera as installed on the machine: whether it is, where, which version, and
// its profile's preferences, search engines and speed dial.
//
// The installation: the uninstall entry named "Opera..." (its InstallLocation), else the
// App Paths entry of opera.exe, else the program-files folder's "Opera"; it counts as
// installed when opera.exe is there. The profile: "<application data>\Opera\<name of the
// install folder>" for a multi-user installation, else the install folder itself; its
// preferences file is "operaprefs.ini" (10 and later) or "profile\opera6.ini" (9.x).
#pragma once

#include "host/opera/Nxopera_preferences.h"
#include "host/opera/Nxopera_search.h"
#include "host/opera/Nxopera_speeddial.h"

#include <memory>
#include <string>

namespace ravelin {

class TNXOpera {
  public:
    TNXOpera();
    ~TNXOpera();
    // Looks at the machine again (the profile may have appeared).
    void Init();

    bool GetIsInstalled() const { return installed_; }
    // Windows path with a trailing backslash; "" when not installed.
    std::string GetInstallDir() const { return installed_ ? installDir_ : std::string(); }
    // major * 100 + minor (964 for 9.64, 1063 for 10.63) as the profile records the version
    // last used; 0 while there is no profile.
    int GetVersion() const;
    // nullptr without a profile or before 9.50, which had no speed dial.
    TNXOpera_SpeedDial* GetSpeedDial() { return speedDial_.get(); }

    TNXOpera_Prefs& Prefs() { return prefs_; }
    TNXOpera_NetworkPrefs& NetworkPrefs() { return network_; }
    TNXOpera_UserPrefs& UserPrefs() { return user_; }
    TNXOpera_Search& Search() { return search_; }

    // The profile folder (Windows path, trailing backslash); "" when there is none.
    const std::string& ProfileDir() const { return profileDir_; }
    // Messages of files that cannot be read, each naming file and line; "" when none.
    std::string Errors() const;

  private:
    bool installed_ = false;
    std::string installDir_;
    int installedVersion_ = 0;
    std::string profileDir_;
    TNXOpera_Prefs prefs_;
    TNXOpera_NetworkPrefs network_{prefs_};
    TNXOpera_UserPrefs user_{prefs_};
    TNXOpera_Search search_;
    std::unique_ptr<TNXOpera_SpeedDial> speedDial_;
};

// "9.64" -> 964, "10.63.3516" -> 1063, "9.5" -> 950, "964" -> 964; 0 when not a version.
int ParseOperaVersion(const std::string& text);

} // namespace ravelin
