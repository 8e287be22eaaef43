// deskforge: the host's command line.
#include "app/deskforge/RegCommand.h"
#include "host/registry/Registry.h"

#include <CLI/CLI.hpp>
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
        "reg", "registry operations with reg.exe's syntax: query, add, delete, export, import");
    reg->prefix_command();
    reg->allow_extras();

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
    std::unique_ptr<ravelin::registry::Registry> registry;
    try {
        registry = ravelin::registry::Registry::openMachine(dir);
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << "\n";
        return 1;
    }

    if (*reg) {
        ravelin::app::Console console{std::cout, std::cerr, std::cin};
        return ravelin::app::runRegCommand(*registry, reg->remaining(), console);
    }
    return 1;
}
