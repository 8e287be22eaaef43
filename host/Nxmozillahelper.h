// The version of the Firefox whose profiles the pages edit.
#pragma once

#include "host/machine/Machine.h"

#include <string>

namespace ravelin {

// The machine's installed Firefox; with another Firefox root (SetFirefoxRoot), or where
// the machine has none, the version that last used the default profile
// (compatibility.ini's LastVersion). All zero when neither is known.
machine::TFileVersionIdentification GetFirefoxVersion();

// The version a profile's compatibility.ini names; all zero without one.
machine::TFileVersionIdentification ProfileLastVersion(const std::string& profileDir);

} // namespace ravelin
