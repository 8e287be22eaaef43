// `deskforge pages`, `deskforge show PAGE` and `deskforge run PAGE [SCRIPT|-]`: a page is
// created as the host creates it, shown as a tree or driven by a script of user actions.
#pragma once

#include "app/deskforge/RegCommand.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ravelin::toolkit {
class TForm;
}

namespace ravelin::app {

struct PageInfo {
    std::string id;    // "tcpip|Ravelin.bpl"
    std::string title; // German title of the host's page list
};
const std::vector<PageInfo>& ModulePages();
// "tcpip", "internet", ... or the whole identifier; nullptr when unknown.
const PageInfo* FindPage(const std::string& nameOrId);

// Creates a page form through the module's factory; nullptr when the module does not
// offer it (yet).
using PageFactory = std::function<std::unique_ptr<toolkit::TForm>(const std::string& id)>;
void SetPageFactory(PageFactory factory);
bool PageAvailable(const PageInfo& page);

// A page as the host shows it: created by the module, shown, its first visible tab
// active; nullptr (reported to the console) when the module does not offer it.
std::unique_ptr<toolkit::TForm> OpenPage(const PageInfo& page, Console& console);
// Destroys the page and writes what it changed to the machine's files.
void ClosePage(std::unique_ptr<toolkit::TForm>& form);

// A setting found by its caption.
struct SettingHit {
    std::string pageId;
    std::string pageTitle;
    std::string tabName; // "" when the control is not on a tab
    std::string tabCaption;
    std::string control;
    std::string caption; // without accelerator marks
};
// Every page, tab and control whose caption holds the text, ignoring case and "&".
std::vector<SettingHit> FindSettings(const std::string& text);

int listPagesCommand(Console& console);
int findCommand(const std::string& text, Console& console);
int showPageCommand(const std::string& page, bool json, Console& console);
// Runs a script (its text; `name` for messages) on the page; 1 on the first failing line.
int runPageCommand(const std::string& page, const std::string& script, const std::string& name,
                   Console& console);

} // namespace ravelin::app
