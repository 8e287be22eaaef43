// `deskforge css get|set|delete FILE SELECTOR ...`: one style-sheet operation with media
// "all", loaded and saved through the journalled file stream as the Firefox page does.
#pragma once

#include "app/deskforge/RegCommand.h"

#include <string>
#include <vector>

namespace ravelin::app {

int runCssCommand(const std::vector<std::string>& args, Console& console);

} // namespace ravelin::app
