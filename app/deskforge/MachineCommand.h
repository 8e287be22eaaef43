// `deskforge machine create DIR --template NAME` and `deskforge machine info [--json]`.
#pragma once

#include "app/deskforge/RegCommand.h"

#include <string>

namespace ravelin::machine {
class Machine;
}

namespace ravelin::app {

int createMachineCommand(const std::string& dir, const std::string& templateName, Console& console,
                         bool hives = false);
// What the host detects on the machine, for a person or (json) as one JSON object.
int machineInfoCommand(machine::Machine& machine, bool json, Console& console);

} // namespace ravelin::app
