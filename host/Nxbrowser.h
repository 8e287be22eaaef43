// Browser helpers the Internet Explorer page calls: the installed browser's program file
// and its version, the known-extensions file's sections, and the text comparison of sorted
// lists (the favourites icons are image-list work, in Nxgraphics.h). The version and installation
// queries themselves are in Nxsystem.h (GetIEVersion, IEInstalled, IE4Installed, IE5Installed,
// IE6Installed).
#pragma once

#include "host/Nxsystem.h"

#include <string>
#include <vector>

namespace ravelin {

// The browser's program file on the machine as a Windows path ("" when it has none): the
// path its "App Paths" entry names, else iexplore.exe in the program files folder.
std::string IEProgramFile();
// The file version in a Windows program's version resource (its fixed part); 0.0.0.0 for
// a file that is missing, not a program or without one.
TFileVersionIdentification FileVersionOf(const std::string& path);
TFileVersionIdentification FileVersionOfBytes(const std::string& bytes);

// The section names of an initialisation file, in file order; none when it is missing.
std::vector<std::string> GetPPSectionNames(const std::string& file);

// Compares two texts ignoring case (German letters included): <0, 0 or >0.
int AnsiCompareText(const std::string& a, const std::string& b);

} // namespace ravelin
