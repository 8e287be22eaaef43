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
#include "toolkit/Controls.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    CLI::App app{
        "deskforge: settings of Windows systems seen from outside (Wine prefixes, Windows drives)"};
    app.require_subcommand(1);
    std::string machine;
    app.add_option("--machine", machine,
                   "the machine folder: a Wine prefix or a Windows drive or hive folder");
    std::string firefoxRoot;
    app.add_option("--firefox-root", firefoxRoot,
                   "the Firefox folder with profiles.ini (such as ~/.mozilla/firefox) instead "
                   "of the machine's; also $DESKFORGE_FIREFOX_ROOT");
    std::string firefoxProfile;
    app.add_option("--firefox-profile", firefoxProfile,
                   "the Firefox profile to edit: a Name= of profiles.ini or a folder, instead of "
                   "the one Firefox starts with; also $DESKFORGE_FIREFOX_PROFILE");

    auto* reg = app.add_subcommand(
        "reg", "registry operations with reg.exe's syntax: query, add, delete, export, import "
               "(--dry-run: change nothing, print the .reg patch)");
    reg->prefix_command();
    reg->allow_extras();
    auto* journal = app.add_subcommand(
        "journal",
        "the journal of changes: list, show ID, undo ID [--force], redo ID [--force], export "
        "FILE [--since ID]");
    journal->prefix_command();
    journal->allow_extras();

    auto* css = app.add_subcommand(
        "css", "style sheets: get FILE SELECTOR PROPERTY, set FILE SELECTOR PROPERTY [WORD...], "
               "delete FILE SELECTOR (journalled when --machine is given)");
    css->prefix_command();
    css->allow_extras();

    auto* pages = app.add_subcommand("pages", "the module's pages and whether each exists yet");
    auto* findCmd =
        app.add_subcommand("find", "every page, tab and control whose caption holds the text");
    std::string findText;
    findCmd->add_option("TEXT", findText, "the text (case and \"&\" do not matter)")->required();
    auto* show =
        app.add_subcommand("show", "create a page as the host does and print what it shows");
    std::string pageName;
    bool showJson = false;
    show->add_option(
            "PAGE", pageName,
            "tcpip, internet, explorer, firefox, opera, logon, mailchat (or the identifier)")
        ->required();
    show->add_flag("--json", showJson, "print the same as JSON");
    auto* run = app.add_subcommand(
        "run", "run a script of user actions on a page (SCRIPT file or - for standard input)");
    std::string scriptFile = "-";
    bool runDry = false;
    run->add_option("PAGE", pageName, "the page")->required();
    run->add_option("SCRIPT", scriptFile, "the script file, - for standard input");
    run->add_flag("--dry-run", runDry, "change nothing and print the .reg patch it would make");

    auto* machineCmd = app.add_subcommand("machine", "sample machines and what the host detects");
    machineCmd->require_subcommand(1);
    auto* create = machineCmd->add_subcommand("create", "build a sample machine into a new folder");
    std::string createDir, templateName;
    create->add_option("DIR", createDir, "the new machine's folder (must not exist or be empty)")
        ->required();
    create
        ->add_option("--template", templateName,
                     "the template: win98, win2000, winxp, vista, win7, bare")
        ->required();
    bool createHives = false;
    create->add_flag("--hives", createHives,
                     "a Windows system drive with NT hive files instead of a Wine prefix");
    auto* info = machineCmd->add_subcommand("info", "what the host detects on the machine");
    bool json = false;
    info->add_flag("--json", json, "one JSON object");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    ravelin::app::Console console{std::cout, std::cerr, std::cin};
    if (create->parsed())
        return ravelin::app::createMachineCommand(createDir, templateName, console, createHives);
    if (css->parsed()) {
        // A style sheet needs no machine; with one, the change goes into its journal.
        std::string dir = machine;
        if (dir.empty())
            if (const char* env = std::getenv("DESKFORGE_MACHINE"); env && *env) dir = env;
        if (dir.empty()) return ravelin::app::runCssCommand(css->remaining(), console);
        try {
            ravelin::app::MachineSession session(dir, ravelin::app::MachineSession::Mode::Write);
            return ravelin::app::runCssCommand(css->remaining(), console);
        } catch (const std::exception& e) {
            std::cerr << "ERROR: " << e.what() << "\n";
            return 1;
        }
    }

    std::vector<std::string> args = reg->parsed() ? reg->remaining() : journal->remaining();
    const bool dryRun =
        reg->parsed() && std::find(args.begin(), args.end(), "--dry-run") != args.end();
    if (dryRun) args.erase(std::remove(args.begin(), args.end(), "--dry-run"), args.end());

    // The module is loaded for the commands that show its pages.
    std::unique_ptr<ravelin::app::LoadedModule> module;
    if (pages->parsed() || show->parsed() || run->parsed() || findCmd->parsed()) {
        try {
            module = std::make_unique<ravelin::app::LoadedModule>("Ravelin.bpl");
        } catch (const std::exception& e) {
            std::cerr << "ERROR: " << e.what() << "\n";
            return 1;
        }
        ravelin::app::SetModulePages(
            module->pages(), [&module](const std::string& id) { return module->InitSubForm(id); });
    }
    try {
        if (pages->parsed()) return ravelin::app::listPagesCommand(console);
        using Mode = ravelin::app::MachineSession::Mode;
        const bool dry = dryRun || (run->parsed() && runDry);
        // Commands that only look create nothing and change nothing of the machine.
        auto firstWord = [&] {
            std::string w = args.empty() ? std::string() : args[0];
            for (auto& ch : w)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            return w;
        };
        const bool looks = info->parsed() || show->parsed() || findCmd->parsed() ||
                           (reg->parsed() && (firstWord() == "query" || firstWord() == "export")) ||
                           (journal->parsed() && firstWord() != "undo" && firstWord() != "redo");
        const Mode mode = dry ? Mode::DryRun : looks ? Mode::ReadOnly : Mode::Write;
        ravelin::app::MachineSession session(ravelin::app::MachineFolder(machine, std::cerr), mode);
        ravelin::app::UseFirefoxRoot(firefoxRoot);
        ravelin::app::UseFirefoxProfile(firefoxProfile);
        if (show->parsed()) return ravelin::app::showPageCommand(pageName, showJson, console);
        if (findCmd->parsed()) return ravelin::app::findCommand(findText, console);
        if (run->parsed()) {
            std::stringstream script;
            if (scriptFile == "-") {
                script << std::cin.rdbuf();
            } else {
                std::ifstream in(scriptFile);
                if (!in) {
                    std::cerr << "ERROR: cannot read the script " << scriptFile << "\n";
                    return 1;
                }
                script << in.rdbuf();
            }
            int rc = ravelin::app::runPageCommand(pageName, script.str(), scriptFile, console);
            if (dry) std::cout << session.dryRunPatch();
            return rc;
        }
        if (info->parsed())
            return ravelin::app::machineInfoCommand(session.machine(), json, console);
        if (reg->parsed()) {
            int rc = ravelin::app::runRegCommand(session.registry(), args, console, dryRun);
            if (dryRun && rc == 0) std::cout << session.dryRunPatch();
            return rc;
        }
        if (!session.journal()) {
            // A machine never changed through deskforge has an empty journal.
            ravelin::journal::Journal* none = nullptr;
            return ravelin::app::runJournalCommand(session.registry(), none, args, console);
        }
        return ravelin::app::runJournalCommand(session.registry(), session.journal(), args,
                                               console);
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << "\n";
        return 1;
    }
}
