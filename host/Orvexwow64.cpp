#include "host/Orvexwow64.h"

#include "host/Nxsystem.h"

namespace ravelin {

bool IsCurrentProcessWow64() {
    machine::Machine* m = CurrentMachine();
    return m && m->emulatesWow64();
}

std::string GetRedirectedSystemDirectory() {
    machine::Machine* m = CurrentMachine();
    if (!m) return {};
    return IsCurrentProcessWow64() ? m->windowsDir() + "\\SysWOW64" : m->systemDir();
}

bool TNXFsRedirection::Enabled() {
    machine::Machine* m = CurrentMachine();
    return m && m->redirectionEnabled();
}
void TNXFsRedirection::Enable() {
    if (machine::Machine* m = CurrentMachine()) m->setRedirectionEnabled(true);
}
void TNXFsRedirection::Disable() {
    if (machine::Machine* m = CurrentMachine()) m->setRedirectionEnabled(false);
}

} // namespace ravelin
