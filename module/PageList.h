// The module's pages: one table that the module's factory (InitSubForm), the host's front
// ends (through the module's GetPageTable entry point: they load the module at run time
// and link no page) and the tests read.
#pragma once

#include <memory>
#include <span>
#include <string_view>

namespace ravelin::toolkit {
class TForm;
}

namespace ravelin::module {

struct PageEntry {
    const char* id;    // "tcpip|Ravelin.bpl": what the host asks the module for
    const char* name;  // "tcpip": the short name of the command line and the window
    const char* title; // the German title of the host's page list
    const char* icon;  // the freedesktop icon of the page in the window's list
    // A new page without owner, owned by the caller; nullptr for a page still to come.
    toolkit::TForm* (*create)();
};

// The pages in the order the host lists them (and the factory compares identifiers).
std::span<const PageEntry> Pages();

// The page for an identifier, compared exactly; nullptr for any other string.
std::unique_ptr<toolkit::TForm> CreatePage(std::string_view id);

} // namespace ravelin::module
