// `deskforge journal list|show|undo|redo|export`.
#pragma once

#include "app/deskforge/RegCommand.h"

#include <string>
#include <vector>

namespace ravelin::journal {
class Journal;
}

namespace ravelin::app {

int runJournalCommand(registry::Registry& registry, journal::Journal& journal,
                      const std::vector<std::string>& args, Console& console);
// A machine without a journal (never changed through deskforge) when journal is nullptr.
int runJournalCommand(registry::Registry& registry, journal::Journal* journal,
                      const std::vector<std::string>& args, Console& console);

} // namespace ravelin::app
