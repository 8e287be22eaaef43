// WOW64 file-system redirection of the machine's emulated 32-bit process.
#pragma once

#include <string>

namespace ravelin {

// True when the module runs as a 32-bit process on 64-bit Windows (machine.json "wow64").
bool IsCurrentProcessWow64();
// "C:\WINDOWS\SysWOW64" for such a process, else the system folder.
std::string GetRedirectedSystemDirectory();

// The redirection object: System32 reaches SysWOW64 while it is enabled.
class TNXFsRedirection {
  public:
    static bool Enabled();
    static void Enable();
    static void Disable();
};

} // namespace ravelin
