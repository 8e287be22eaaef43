// What the shell knows about a file type: its name and icon as Explorer shows them, from
// the machine's HKEY_CLASSES_ROOT.
#pragma once

#include "toolkit/Controls.h"

#include <cstdint>
#include <string>

namespace ravelin {

// The parts of the shell's file information the pages read.
struct TSHFileInfo {
    int iIcon = -1;         // index in the system image list
    std::string szTypeName; // "Anwendung", "MDB-Datei", ...
    std::uint32_t dwAttributes = 0;
};

// What SHGetFileInfoW answers for a name without looking at the file (the flags ask for
// the type name and the small icon from the file attributes): the class named by the
// extension's default value, its name and its icon. A type without a name is "EXT-Datei",
// a name without extension "Datei", a folder (attribute 0x10) "Dateiordner" with the
// folder icon; the name is cut to 80 characters.
bool SHGetFileInfoWrapper(const std::string& fileName, std::uint32_t fileAttributes,
                          TSHFileInfo& info);

// The system image list: the icons SHGetFileInfoWrapper hands out by index (a plain
// document, a program, a shortcut, a web document, a folder).
void CreateSystemImageList(toolkit::TImageList& list, bool smallIcons);

} // namespace ravelin
