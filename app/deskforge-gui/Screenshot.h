// Renders a page offscreen to a PNG, as the window would show it.
#pragma once

#include <iosfwd>
#include <string>

namespace ravelin::gui {

// `pageAndTab` is "PAGE" or "PAGE:TAB" (the tab by name or caption). Returns the exit code;
// errors go to `err`.
int Screenshot(const std::string& pageAndTab, const std::string& outFile, std::ostream& err);

} // namespace ravelin::gui
