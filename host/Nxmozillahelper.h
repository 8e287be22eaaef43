// The version of the Firefox whose profiles the pages edit.
#pragma once

#include "host/machine/Machine.h"

#include <string>

namespace ravelin {

// The machine's installed Firefox (else the version that last used the profile). With
// another Firefox root (SetFirefoxRoot), the Firefox of this computer that starts with the
// profile: its installation's application.ini, else the version that last used the
// profile (compatibility.ini's LastVersion), else the installation a user starts. All zero
// when none is known; never the machine's Firefox for another root.
machine::TFileVersionIdentification GetFirefoxVersion();

// The version a profile's compatibility.ini names; all zero without one.
machine::TFileVersionIdentification ProfileLastVersion(const std::string& profileDir);
// The version an installation folder's application.ini names; all zero without one.
machine::TFileVersionIdentification InstallationVersion(const std::string& installDir);

} // namespace ravelin
