// `deskforge pages`, `deskforge show PAGE` and `deskforge run PAGE [SCRIPT|-]`: a page is
// created as the host creates it, shown as a tree or driven by a script of user actions.
#pragma once

#include "app/deskforge/RegCommand.h"
#include "module/PageList.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ravelin::toolkit {
class TComponent;
class TForm;
class TWinControl;
} // namespace ravelin::toolkit

namespace ravelin::app {

// A page of the module, from its page table (module/PageList.h).
struct PageInfo {
    std::string id;    // "tcpip|Ravelin.bpl"
    std::string name;  // "tcpip"
    std::string title; // title of the host's page list, in the language shown
    std::string icon;  // freedesktop icon name of the window's page list
};
// The pages of the bound module; none before one is bound.
const std::vector<PageInfo>& ModulePages();
// "tcpip", "internet", ... or the whole identifier; nullptr when unknown.
const PageInfo* FindPage(const std::string& nameOrId);

// Creates a page form through the module's factory; nullptr when the module does not
// offer it (yet).
using PageFactory = std::function<std::unique_ptr<toolkit::TForm>(const std::string& id)>;
// Binds the module's page table and the factory that creates its pages (the programs: the
// loaded module's; the tests: the linked table's); an empty table and nullptr unbind them.
void SetModulePages(std::span<const module::PageEntry> table, PageFactory factory);
// Replaces only the factory (a test's own pages under the module's names).
void SetPageFactory(PageFactory factory);
bool PageAvailable(const PageInfo& page);

class PageActions;

// A page as the host shows it: created by the module, shown, its first visible tab
// active; nullptr (reported to the console) when the module does not offer it.
std::unique_ptr<toolkit::TForm> OpenPage(const PageInfo& page, Console& console);
// Closes the page as a person leaves it: the focused control's exit events run first (an
// edit typed into and not yet left is written), then the page is destroyed and what it
// changed is written to the machine's files. With `actions`, what closing writes is
// journalled as the person's last changes on the page.
void ClosePage(std::unique_ptr<toolkit::TForm>& form, PageActions* actions = nullptr);

// The journal side of a person's actions on a page, shared by the command line and the
// window: each action is one transaction labelled with the page and the control. What a
// control's exit events write when the focus leaves it (for another control, another tab,
// or the page closing) is a transaction of its own, labelled with that control.
class PageActions {
  public:
    explicit PageActions(std::string page);
    ~PageActions();
    PageActions(const PageActions&) = delete;
    PageActions& operator=(const PageActions&) = delete;

    void SetPage(std::string page) { page_ = std::move(page); }
    void Begin(const std::string& control);
    void End();

  private:
    void exits(toolkit::TWinControl& leaving, const std::function<void()>& fire);

    std::string page_;
    std::vector<std::string> open_; // the actions under way, outermost first
};

// The name a script gives a control: a control of a frame is "FRAME.NAME".
std::string ScriptName(const toolkit::TComponent& control);

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
