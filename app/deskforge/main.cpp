// deskforge: the host's command line.
#include "app/deskforge/CssCommand.h"
#include "app/deskforge/JournalCommand.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/MachineCommand.h"
#include "app/deskforge/ModuleLoader.h"
#include "app/deskforge/PageCommand.h"
#include "app/deskforge/RegCommand.h"
#include "host/Nxsystem.h"
#include "host/machine/Templates.h"
#include "host/text/Translate.h"
#include "toolkit/Controls.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

using ravelin::app::Console;
using ravelin::app::MachineSession;

// What the command line asked for: the commands, to ask which was given, and every option.
struct Options {
    std::string language;
    std::string machine;
    std::string firefoxRoot;
    std::string firefoxProfile;

    CLI::App* reg = nullptr;
    CLI::App* journal = nullptr;
    CLI::App* css = nullptr;

    CLI::App* pages = nullptr;
    CLI::App* findCmd = nullptr;
    std::string findText;
    CLI::App* show = nullptr;
    std::string pageName;
    bool showJson = false;
    CLI::App* run = nullptr;
    std::string scriptFile = "-";
    bool runDry = false;

    CLI::App* create = nullptr;
    std::string createDir, templateName;
    bool createHives = false;
    CLI::App* info = nullptr;
    bool json = false;
};

// Which machine and which Firefox profile; every command that opens the machine uses them.
void addMachineOptions(CLI::App& app, Options& o) {
    app.add_option("--machine", o.machine,
                   "the machine folder: a Wine prefix or a Windows drive or hive folder");
    app.add_option("--firefox-root", o.firefoxRoot,
                   "the Firefox folder with profiles.ini (such as ~/.mozilla/firefox) instead "
                   "of the machine's; also $DESKFORGE_FIREFOX_ROOT");
    app.add_option("--firefox-profile", o.firefoxProfile,
                   "the Firefox profile to edit: a Name= of profiles.ini or a folder, instead of "
                   "the one Firefox starts with; also $DESKFORGE_FIREFOX_PROFILE");
}

// The language of the pages and messages; the locale's where none is asked for.
void addLanguageOption(CLI::App& app, Options& o) {
    app.add_option("--lang", o.language,
                   "the language of the pages and messages: de or en (default: the locale's, "
                   "German for any other)")
        ->check(CLI::IsMember(ravelin::text::OfferedLanguages()));
}

// reg, journal and css parse their own words, in the syntax their users know.
void addPassThroughCommands(CLI::App& app, Options& o) {
    o.reg = app.add_subcommand(
        "reg", "registry operations with reg.exe's syntax: query, add, delete, export, import "
               "(--dry-run: change nothing, print the .reg patch)");
    o.reg->prefix_command();
    o.reg->allow_extras();
    o.journal = app.add_subcommand(
        "journal",
        "the journal of changes: list, show ID, undo ID [--force], redo ID [--force], export "
        "FILE [--since ID]");
    o.journal->prefix_command();
    o.journal->allow_extras();

    o.css = app.add_subcommand(
        "css", "style sheets: get FILE SELECTOR PROPERTY, set FILE SELECTOR PROPERTY [WORD...], "
               "delete FILE SELECTOR (journalled when --machine is given)");
    o.css->prefix_command();
    o.css->allow_extras();
}

// The commands that need the module: they show its pages or act on them.
void addPageCommands(CLI::App& app, Options& o) {
    o.pages = app.add_subcommand("pages", "the module's pages and whether each exists yet");
    o.findCmd =
        app.add_subcommand("find", "every page, tab and control whose caption holds the text");
    o.findCmd->add_option("TEXT", o.findText, "the text (case and \"&\" do not matter)")
        ->required();
    o.show = app.add_subcommand("show", "create a page as the host does and print what it shows");
    o.show
        ->add_option("PAGE", o.pageName,
                     "a page's short name, as `deskforge pages` lists them, or its identifier")
        ->required();
    o.show->add_flag("--json", o.showJson, "print the same as JSON");
    o.run = app.add_subcommand(
        "run", "run a script of user actions on a page (SCRIPT file or - for standard input)");
    o.run->add_option("PAGE", o.pageName, "the page")->required();
    o.run->add_option("SCRIPT", o.scriptFile, "the script file, - for standard input");
    o.run->add_flag("--dry-run", o.runDry, "change nothing and print the .reg patch it would make");
}

// machine create and machine info.
void addMachineCommands(CLI::App& app, Options& o) {
    auto* machineCmd = app.add_subcommand("machine", "sample machines and what the host detects");
    machineCmd->require_subcommand(1);
    o.create = machineCmd->add_subcommand("create", "build a sample machine into a new folder");
    o.create
        ->add_option("DIR", o.createDir, "the new machine's folder (must not exist or be empty)")
        ->required();
    o.create
        ->add_option("--template", o.templateName,
                     "the template: win98, win2000, winxp, vista, win7, bare")
        ->required();
    o.create->add_flag("--hives", o.createHives,
                       "a Windows system drive with NT hive files instead of a Wine prefix");
    o.info = machineCmd->add_subcommand("info", "what the host detects on the machine");
    o.info->add_flag("--json", o.json, "one JSON object");
}

// A style sheet needs no machine; with one, the change goes into its journal.
int cssCommand(const Options& o, Console& console) {
    std::string dir = o.machine;
    if (dir.empty())
        if (const char* env = std::getenv("DESKFORGE_MACHINE"); env && *env) dir = env;
    if (dir.empty()) return ravelin::app::runCssCommand(o.css->remaining(), console);
    try {
        MachineSession session(dir, MachineSession::Mode::Write);
        return ravelin::app::runCssCommand(o.css->remaining(), console);
    } catch (const std::exception& e) {
        std::cerr << ravelin::text::trf("FEHLER: %1", e.what()) << "\n";
        return 1;
    }
}

// Commands that only look create nothing and change nothing of the machine.
bool onlyLooks(const Options& o, const std::vector<std::string>& args) {
    auto firstWord = [&] {
        std::string w = args.empty() ? std::string() : args[0];
        for (auto& ch : w)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return w;
    };
    return o.info->parsed() || o.show->parsed() || o.findCmd->parsed() ||
           (o.reg->parsed() && (firstWord() == "query" || firstWord() == "export")) ||
           (o.journal->parsed() && firstWord() != "undo" && firstWord() != "redo");
}

// run: the script comes from a file or from standard input.
int runScriptCommand(const Options& o, MachineSession& session, bool dry, Console& console) {
    std::stringstream script;
    if (o.scriptFile == "-") {
        script << std::cin.rdbuf();
    } else {
        std::ifstream in(o.scriptFile);
        if (!in) {
            std::cerr << ravelin::text::trf("FEHLER: Das Skript %1 kann nicht gelesen werden.",
                                            o.scriptFile)
                      << "\n";
            return 1;
        }
        script << in.rdbuf();
    }
    int rc = ravelin::app::runPageCommand(o.pageName, script.str(), o.scriptFile, console);
    if (dry) std::cout << session.dryRunPatch();
    return rc;
}

// reg and journal, on the registry of the open machine.
int registryCommand(const Options& o, MachineSession& session, std::vector<std::string>& args,
                    bool dryRun, Console& console) {
    if (o.reg->parsed()) {
        int rc = ravelin::app::runRegCommand(session.registry(), args, console, dryRun);
        if (dryRun && rc == 0) std::cout << session.dryRunPatch();
        return rc;
    }
    if (!session.journal()) {
        // A machine never changed through deskforge has an empty journal.
        ravelin::journal::Journal* none = nullptr;
        return ravelin::app::runJournalCommand(session.registry(), none, args, console);
    }
    return ravelin::app::runJournalCommand(session.registry(), session.journal(), args, console);
}

// The commands that open the machine (or list the module's pages).
int machineSessionCommand(const Options& o, Console& console) {
    std::vector<std::string> args = o.reg->parsed() ? o.reg->remaining() : o.journal->remaining();
    const bool dryRun =
        o.reg->parsed() && std::find(args.begin(), args.end(), "--dry-run") != args.end();
    if (dryRun) args.erase(std::remove(args.begin(), args.end(), "--dry-run"), args.end());

    // The module is loaded for the commands that show its pages.
    std::unique_ptr<ravelin::app::LoadedModule> module;
    if (o.pages->parsed() || o.show->parsed() || o.run->parsed() || o.findCmd->parsed()) {
        try {
            module = std::make_unique<ravelin::app::LoadedModule>("Ravelin.bpl");
        } catch (const std::exception& e) {
            std::cerr << ravelin::text::trf("FEHLER: %1", e.what()) << "\n";
            return 1;
        }
        ravelin::app::SetModulePages(
            module->pages(), [&module](const std::string& id) { return module->InitSubForm(id); });
    }
    try {
        if (o.pages->parsed()) return ravelin::app::listPagesCommand(console);
        using Mode = MachineSession::Mode;
        const bool dry = dryRun || (o.run->parsed() && o.runDry);
        const Mode mode = dry ? Mode::DryRun : onlyLooks(o, args) ? Mode::ReadOnly : Mode::Write;
        MachineSession session(ravelin::app::MachineFolder(o.machine, std::cerr), mode);
        ravelin::app::UseFirefoxRoot(o.firefoxRoot);
        ravelin::app::UseFirefoxProfile(o.firefoxProfile);
        if (o.show->parsed()) return ravelin::app::showPageCommand(o.pageName, o.showJson, console);
        if (o.findCmd->parsed()) return ravelin::app::findCommand(o.findText, console);
        if (o.run->parsed()) return runScriptCommand(o, session, dry, console);
        if (o.info->parsed())
            return ravelin::app::machineInfoCommand(session.machine(), o.json, console);
        return registryCommand(o, session, args, dryRun, console);
    } catch (const std::exception& e) {
        std::cerr << ravelin::text::trf("FEHLER: %1", e.what()) << "\n";
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "deskforge: settings of Windows systems seen from outside (Wine prefixes, Windows drives)"};
    app.require_subcommand(1);
    Options o;
    addLanguageOption(app, o);
    addMachineOptions(app, o);
    addPassThroughCommands(app, o);
    addPageCommands(app, o);
    addMachineCommands(app, o);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    try {
        ravelin::text::SetLanguage(o.language.empty() ? ravelin::text::LanguageFromLocale()
                                                      : o.language);
    } catch (const ravelin::text::CatalogueError& e) {
        std::cerr << "ERROR: " << e.what() << "\n";
        return 1;
    }
    // Asked for by name, a language whose catalogue is missing is worth a word.
    if (!o.language.empty() && ravelin::text::CurrentLanguage() != o.language)
        std::cerr << "WARNING: no catalogue " << ravelin::text::CatalogueFile(o.language)
                  << ": the texts are shown in German\n";

    Console console{std::cout, std::cerr, std::cin};
    if (o.create->parsed())
        return ravelin::app::createMachineCommand(o.createDir, o.templateName, console,
                                                  o.createHives);
    if (o.css->parsed()) return cssCommand(o, console);
    return machineSessionCommand(o, console);
}
