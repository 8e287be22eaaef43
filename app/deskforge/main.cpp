// deskforge: the host's command line.
#include "app/deskforge/JournalCommand.h"
#include "app/deskforge/Machine.h"
#include "app/deskforge/RegCommand.h"
#include "host/registry/Registry.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <iostream>

namespace {

// The machine a command works on: --machine, else $DESKFORGE_MACHINE.
std::string machineFolder(const std::string& option) {
    if (!option.empty()) return option;
    if (const char* env = std::getenv("DESKFORGE_MACHINE"); env && *env) return env;
    return {};
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "deskforge: settings of Windows systems seen from outside (Wine prefixes, Windows drives)"};
    app.require_subcommand(1);
    std::string machine;
    app.add_option("--machine", machine,
                   "the machine folder: a Wine prefix or a Windows drive or hive folder");

    auto* reg = app.add_subcommand(
        "reg", "registry operations with reg.exe's syntax: query, add, delete, export, import "
               "(--dry-run: change nothing, print the .reg patch)");
    reg->prefix_command();
    reg->allow_extras();
    auto* journal = app.add_subcommand(
        "journal",
        "the journal of changes: list, show ID, undo ID, redo ID, export FILE [--since ID]");
    journal->prefix_command();
    journal->allow_extras();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    std::string dir = machineFolder(machine);
    if (dir.empty()) {
        std::cerr
            << "ERROR: no machine given: use --machine DIR (a Wine prefix or a Windows drive)\n";
        return 1;
    }
    std::vector<std::string> args = reg->parsed() ? reg->remaining() : journal->remaining();
    const bool dryRun =
        reg->parsed() && std::find(args.begin(), args.end(), "--dry-run") != args.end();
    if (dryRun) args.erase(std::remove(args.begin(), args.end(), "--dry-run"), args.end());

    try {
        ravelin::app::MachineSession session(dir, dryRun);
        ravelin::app::Console console{std::cout, std::cerr, std::cin};
        if (reg->parsed()) {
            int rc = ravelin::app::runRegCommand(session.registry(), args, console);
            if (dryRun && rc == 0) std::cout << session.dryRunPatch();
            return rc;
        }
        return ravelin::app::runJournalCommand(session.registry(), *session.journal(), args,
                                               console);
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << "\n";
        return 1;
    }
}
