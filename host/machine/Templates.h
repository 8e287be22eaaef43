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
void createMachine(const std::string& dir, const std::string& templateName,
                   const std::string& folder);

} // namespace ravelin::machine
