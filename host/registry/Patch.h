// The net effect of a sequence of changes as a .reg patch, ready to import on a live
// Windows system: set values with their final data, deleted values as "name"=-, deleted
// or replaced keys as [-KEY]. Sensitive values are left out with a comment saying so.
#pragma once

#include "host/registry/Change.h"
#include "host/registry/RegFile.h"

#include <vector>

namespace ravelin::registry {

void writePatch(const std::vector<RegistryChange>& changes, RegFileWriter& writer);

} // namespace ravelin::registry
