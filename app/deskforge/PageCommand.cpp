#include "app/deskforge/PageCommand.h"

#include "host/Controlhelper.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/registry/Registry.h"
#include "host/text/Translate.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/TextCompare.h"

#include <optional>
#include <ostream>
#include <sstream>

namespace ravelin::app {

namespace {

PageFactory& factory() {
    static PageFactory f; // the module's factory, once it is loaded
    return f;
}

} // namespace

std::unique_ptr<toolkit::TForm> OpenPage(const PageInfo& page, Console& c) {
    std::unique_ptr<toolkit::TForm> form = factory() ? factory()(page.id) : nullptr;
    if (!form) {
        c.err << text::trf("FEHLER: Die Seite \"%1\" ist in dieser Version des Moduls nicht "
                           "verfügbar.",
                           page.id)
              << "\n";
        return nullptr;
    }
    // As the host shows a page: create, show (the active tabs get their OnShow), first
    // visible tab where none is active.
    form->Show();
    for (toolkit::TControl* child : form->Controls())
        if (auto* pc = dynamic_cast<toolkit::TPageControl*>(child); pc && !pc->ActivePage())
            ActivateFirstVisiblePage(*pc);
    return form;
}

void ClosePage(std::unique_ptr<toolkit::TForm>& form, PageActions* actions) {
    // What the page's destruction still writes (a pending timer's text) is one change of
    // the page; the field the person was in is left first, as its own change.
    if (actions) actions->Begin(form->Name);
    try {
        form->SetActiveControl(nullptr);
        form->BeforeDestruction();
    } catch (...) {
        if (actions) actions->End();
        throw;
    }
    if (actions) actions->End();
    form.reset();
    if (auto* reg = CurrentRegistry()) reg->flush();
}

std::string ScriptName(const toolkit::TComponent& control) {
    std::string name = control.Name;
    for (toolkit::TComponent* o = control.Owner(); o && !dynamic_cast<toolkit::TForm*>(o);
         o = o->Owner())
        if (auto* frame = dynamic_cast<toolkit::TFrame*>(o)) name = frame->Name + "." + name;
    return name;
}

PageActions::PageActions(std::string page) : page_(std::move(page)) {
    toolkit::TApplication::Instance().OnFocusExit = [this](toolkit::TWinControl& leaving,
                                                           const std::function<void()>& fire) {
        exits(leaving, fire);
    };
}

PageActions::~PageActions() {
    toolkit::TApplication::Instance().OnFocusExit = nullptr;
}

void PageActions::Begin(const std::string& control) {
    open_.push_back(control);
    JournalSetContext(page_, control);
    BackupStart(0, "");
}

void PageActions::End() {
    if (open_.empty()) return;
    open_.pop_back();
    BackupEnd(false);
}

void PageActions::exits(toolkit::TWinControl& leaving, const std::function<void()>& fire) {
    // Inside a dialog's session the edits belong to what the dialog collects.
    if (open_.size() > 1) {
        fire();
        return;
    }
    // An action moves the focus before its control acts: what the left control writes
    // is its own change, and the action's transaction (still empty) starts again after it.
    const std::optional<std::string> action =
        open_.empty() ? std::nullopt : std::optional<std::string>(open_.back());
    if (action) End();
    Begin(ScriptName(leaving));
    try {
        fire();
    } catch (...) {
        End();
        if (action) Begin(*action);
        throw;
    }
    End();
    if (action) Begin(*action);
}

namespace {

std::vector<PageInfo>& boundPages() {
    static std::vector<PageInfo> pages; // the bound module's, copied: it may be unloaded
    return pages;
}

} // namespace

const std::vector<PageInfo>& ModulePages() {
    return boundPages();
}

void SetModulePages(std::span<const module::PageEntry> table, PageFactory f) {
    std::vector<PageInfo> pages;
    for (const module::PageEntry& p : table)
        pages.push_back({p.id, p.name, text::tr(p.title), p.icon ? p.icon : ""});
    boundPages() = std::move(pages);
    factory() = std::move(f);
}

const PageInfo* FindPage(const std::string& nameOrId) {
    for (const auto& p : ModulePages())
        if (p.id == nameOrId || p.name == nameOrId) return &p;
    return nullptr;
}

bool PageAvailable(const PageInfo& page) {
    return factory() && factory()(page.id) != nullptr;
}

void SetPageFactory(PageFactory f) {
    factory() = std::move(f);
}

int listPagesCommand(Console& c) {
    for (const auto& p : ModulePages()) {
        c.out << p.id << "\t" << text::tr(p.title) << "\t"
              << (PageAvailable(p) ? "available" : "not available yet") << "\n";
    }
    return 0;
}

namespace {

void collect(toolkit::TControl& c, const PageInfo& page, toolkit::TTabSheet* sheet,
             const std::string& needle, std::vector<SettingHit>& hits) {
    if (!c.Visible) return;
    if (auto* s = dynamic_cast<toolkit::TTabSheet*>(&c)) {
        if (!s->TabVisible) return;
        sheet = s;
    }
    std::string caption = toolkit::StripAccelerator(c.Caption);
    if (!caption.empty() && toolkit::AnsiLowerCase(caption).find(needle) != std::string::npos)
        hits.push_back({page.id, page.title, sheet ? sheet->Name : "",
                        sheet ? toolkit::StripAccelerator(sheet->Caption) : "", c.Name, caption});
    if (auto* w = dynamic_cast<toolkit::TWinControl*>(&c))
        for (toolkit::TControl* child : w->Controls())
            collect(*child, page, sheet, needle, hits);
}

} // namespace

std::vector<SettingHit> FindSettings(const std::string& text) {
    std::vector<SettingHit> hits;
    const std::string needle = toolkit::AnsiLowerCase(toolkit::StripAccelerator(text));
    if (needle.empty() || !factory()) return hits;
    // Creating a page fills it, which switches the module's discard flag; the caller's
    // page (the one on screen) keeps the state it had.
    const bool discard = Journal_Discard;
    for (const auto& page : ModulePages()) {
        std::unique_ptr<toolkit::TForm> form = factory()(page.id);
        if (!form) continue;
        if (toolkit::AnsiLowerCase(page.title).find(needle) != std::string::npos)
            hits.push_back({page.id, page.title, "", "", form->Name, page.title});
        for (toolkit::TControl* child : form->Controls())
            collect(*child, page, nullptr, needle, hits);
    }
    Journal_Discard = discard;
    return hits;
}

int findCommand(const std::string& text, Console& c) {
    auto hits = FindSettings(text);
    for (const auto& h : hits)
        c.out << h.pageId.substr(0, h.pageId.find('|')) << "\t"
              << (h.tabCaption.empty() ? "-" : h.tabCaption) << "\t" << h.control << "\t"
              << h.caption << "\n";
    if (hits.empty()) {
        c.err << text::trf("Keine Seite, keine Registerkarte und kein Steuerelement zeigt \"%1\".",
                           text)
              << "\n";
        return 1;
    }
    return 0;
}

int showPageCommand(const std::string& name, bool json, Console& c) {
    const PageInfo* page = FindPage(name);
    if (!page) {
        std::string names;
        for (const auto& p : ModulePages())
            names += (names.empty() ? "" : ", ") + p.name;
        c.err << text::trf("FEHLER: Es gibt keine Seite \"%1\" (Seiten: %2).", name, names) << "\n";
        return 1;
    }
    auto form = OpenPage(*page, c);
    if (!form) return 1;
    c.out << (json ? toolkit::DescribeFormJson(*form) : toolkit::DescribeForm(*form));
    ClosePage(form);
    return 0;
}

namespace {

// The numbers of the lines that hold an action, as the script runner counts them.
std::vector<unsigned> executableLines(const std::string& script) {
    std::vector<unsigned> out;
    std::istringstream in(script);
    std::string text;
    unsigned number = 0;
    while (std::getline(in, text)) {
        ++number;
        auto words = toolkit::SplitScriptLine(text, number);
        if (!words.empty() && words[0][0] != '#') out.push_back(number);
    }
    return out;
}

// Runs the script's lines one by one (also those a dialog's modal loop asks for) and fails
// the line after which the registry, the journal or a file refused a write: a page may
// ignore a write's result, the host does not.
class CheckedScript final : public toolkit::InputSource {
  public:
    CheckedScript(toolkit::ScriptRunner& runner, std::vector<unsigned> lines)
        : runner_(runner), lines_(std::move(lines)) {}

    bool next() override {
        const std::size_t at = done_++;
        if (!runner_.next()) return false;
        if (std::string refused = TakeWriteFailure(); !refused.empty()) {
            const std::string why = text::trf("Die Änderung wurde nicht vorgenommen: %1", refused);
            if (at < lines_.size()) throw toolkit::DriverError(lines_[at], why);
            throw toolkit::DriverError(text::trf("Zeile ?: %1", why));
        }
        return true;
    }

    void Run() {
        auto& app = toolkit::TApplication::Instance();
        toolkit::InputSource* previous = app.Input();
        app.SetInputSource(this);
        try {
            while (next()) {
            }
        } catch (...) {
            app.SetInputSource(previous);
            throw;
        }
        app.SetInputSource(previous);
    }

  private:
    toolkit::ScriptRunner& runner_;
    std::vector<unsigned> lines_;
    std::size_t done_ = 0;
};

} // namespace

int runPageCommand(const std::string& name, const std::string& script,
                   const std::string& scriptName, Console& c) {
    const PageInfo* page = FindPage(name);
    if (!page) {
        c.err << text::trf("FEHLER: Es gibt keine Seite \"%1\".", name) << "\n";
        return 1;
    }
    toolkit::ScriptedDialogs dialogs(&c.out);
    auto& app = toolkit::TApplication::Instance();
    app.SetDialogService(&dialogs);
    auto form = OpenPage(*page, c);
    if (!form) return 1;
    machine::Machine* machine = CurrentMachine();
    if (machine)
        machine->launcher().onRecord = [&c](const machine::LaunchRequest& r) {
            c.out << "launch: " << r.program << (r.parameters.empty() ? "" : " " + r.parameters)
                  << "\n";
        };
    // The command line cannot switch pages: it reports the jump a page asks for.
    SetMainAppFormShow([&c](toolkit::TForm&, const std::string& id, int tab) {
        if (FindPage(id))
            c.out << "jump: " << id << " tab " << tab << "\n";
        else
            c.out << "jump: " << id << " tab " << tab << " (no such page here)\n";
    });
    toolkit::UserDriver driver(*form);
    // Everything one user action writes is one journal transaction, labelled with the
    // page and the control.
    PageActions actions(page->name);
    driver.BeforeAction = [&](const std::string& control) { actions.Begin(control); };
    driver.AfterAction = [&] { actions.End(); };
    toolkit::ScriptRunner runner(driver, dialogs, c.out);
    int rc = 0;
    // Writes refused while the page filled itself are not the script's doing.
    if (std::string refused = TakeWriteFailure(); !refused.empty())
        c.err << text::trf("WARNUNG: Beim Öffnen der Seite: %1", refused) << "\n";
    try {
        runner.Load(script);
        CheckedScript checked(runner, executableLines(script));
        checked.Run();
    } catch (const toolkit::DriverError& e) {
        c.err << text::trf("FEHLER: %1: %2", scriptName, e.what()) << "\n";
        rc = 1;
    } catch (const std::exception& e) {
        // A write the host refused, which the page did not report itself.
        c.err << text::trf("FEHLER: %1: %2", scriptName, e.what()) << "\n";
        rc = 1;
    }
    ClosePage(form, &actions);
    // What the page writes as it closes (a field left by closing) is the script's last
    // change: refused, it fails the run like any line.
    if (std::string refused = TakeWriteFailure(); !refused.empty()) {
        c.err << text::trf("FEHLER: %1: Beim Schließen der Seite: Die Änderung wurde nicht "
                           "vorgenommen: %2",
                           scriptName, refused)
              << "\n";
        rc = 1;
    }
    if (machine) machine->launcher().onRecord = nullptr;
    SetMainAppFormShow(nullptr);
    app.SetDialogService(nullptr);
    return rc;
}

} // namespace ravelin::app
