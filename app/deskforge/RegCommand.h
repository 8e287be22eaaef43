// `deskforge reg ...`: the registry on the command line, with the arguments, output,
// messages and exit codes of Windows' reg.exe.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ravelin::registry {
class Registry;
}

namespace ravelin::app {

struct Console {
    std::ostream& out;
    std::ostream& err;
    std::istream& in; // answers to Yes/No questions
};

// args are what follows "reg": the operation and its parameters. Returns the exit code.
// A dry run writes no file, not even an export.
int runRegCommand(registry::Registry& registry, const std::vector<std::string>& args,
                  Console& console, bool dryRun = false);

} // namespace ravelin::app
