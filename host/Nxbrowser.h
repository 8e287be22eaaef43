// Browser helpers the Internet Explorer page calls: the installed browser's program file
// and its version, the favourites icons, the known-extensions file's sections, and the
// text comparison of sorted lists. The version and installation queries themselves are
// in Nxsystem.h (GetIEVersion, IEInstalled, IE4Installed, IE5Installed, IE6Installed).
#pragma once

#include "host/Nxsystem.h"
#include "toolkit/Controls.h"

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

// Appends a file's small (16 x 16) icon to the list and returns its index. The file is a
// picture of the data folder (a name relative to it) or a path; a file that is missing
// still takes its place, so that the indices stay as the caller counts them.
int AddSmallIconToIL(toolkit::TImageList& list, const std::string& fileName);

// The section names of an initialisation file, in file order; none when it is missing.
std::vector<std::string> GetPPSectionNames(const std::string& file);

// Compares two texts ignoring case (German letters included): <0, 0 or >0.
int AnsiCompareText(const std::string& a, const std::string& b);

} // namespace ravelin
