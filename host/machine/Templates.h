// Sample machines: Wine prefixes built from the templates in samples/templates.
#pragma once

#include <string>
#include <vector>

namespace ravelin::machine {

// The folder that holds the templates: $DESKFORGE_TEMPLATES, else the installed
// share/deskforge/templates, else the source tree's samples/templates.
std::string templatesFolder();
std::vector<std::string> templateNames(const std::string& folder);

// Builds the machine into `dir`, which must not exist or be empty. Throws
// RegistryAccessError / RegistryFormatError (a bad template names its file and line).
// By default a Wine prefix; with `hives` a Windows system drive with the same content:
// Windows/System32/config/{SOFTWARE,SYSTEM,DEFAULT} and Users/<user>/NTUSER.DAT.
void createMachine(const std::string& dir, const std::string& templateName,
                   const std::string& folder, bool hives = false);

} // namespace ravelin::machine
