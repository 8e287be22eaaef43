// What the pages ask about the machine: its Windows version, folders, files, programs and
// services. The calls work on the machine the host has bound with SetCurrentMachine();
// with none bound they answer as for an empty machine.
#pragma once

#include "host/machine/Machine.h"

#include <string>

namespace ravelin {

using machine::TFileVersionIdentification;

void SetCurrentMachine(machine::Machine* machine);
machine::Machine* CurrentMachine();

bool IsAdmin();
// The host's operating-system code (see machine::osCodeFor for the table).
int CurrentOS();
// 1: the 9x family, 2: the NT family.
int GetPlatformId();
// Windows XP with at least service pack n, or any later Windows.
bool IsWinXPSP(int n);
bool IEInstalled();
bool IE4Installed();
bool IE5Installed();
bool IE6Installed();
TFileVersionIdentification GetIEVersion();

// The extended version information (the parts the pages read).
struct OSVersionInfoEx {
    int dwMajorVersion = 0;
    int dwMinorVersion = 0;
    int dwPlatformId = 0;
    int wServicePackMajor = 0;
    std::uint32_t wSuiteMask = 0;
};
bool GetVersion2k(OSVersionInfoEx& info);

std::string GetWinDir(); // "C:\WINDOWS"
std::string GetSysDir(); // "C:\WINDOWS\system32"
// A shell folder by its number (CSIDL), as a Windows path: 6 is the Favourites.
std::string GetFolderLocStr(int csidl);

// The program's own folders (host paths with a trailing '/'): where it is installed, and
// its data (pictures, catalogues, the language folders).
std::string CurAppDir();
std::string CurAppDataDir();
// The host's application-data folder: per user (the user's data folder of deskforge) or,
// with perUser false, the shared data that comes with the program. create makes it.
std::string GetAppDataDir(bool perUser, bool create);
// Puts the folder of the language shown in place of "[LANG]", where it holds the file; else
// the German folder's.
std::string NXTranslateFilePath(const std::string& path);

// Files: Windows paths ("C:\...") or host paths.
bool NXFileExists(const std::string& path);
bool DirExists(const std::string& path);
// Where Windows would find a program or file by name: the path as given when it exists,
// else the system folder, the Windows folder and the machine's PATH; "" when not found.
std::string FindFile(const std::string& name);
// Reads a key of a Windows initialisation file (Windows' rules: see ProfileFile).
std::string GetPPString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& def);
// A hexadecimal string as a number; reading stops at the first other character (an
// optional "0x" is skipped); "" is 0.
long HexToDEC(const std::string& hex);

// Services, with the host's codes (see machine::Machine). The reads return false when the
// service or its setting cannot be read.
bool GetServiceStartType(const std::string& name, int& startType);
bool GetServiceState(const std::string& name, int& state);
std::vector<std::string> GetDependentServiceList(const std::string& name);
// startType 0 keeps it; action 0 none, 1 start, 2 stop. `dependant` says the service is
// changed on behalf of another one; the machines here change state at once, so it only
// labels the change. Start types are written to the registry and run states to
// machine.json, both journalled as one transaction.
bool ConfigureService(const std::string& name, int startType, int action, bool dependant);

} // namespace ravelin
