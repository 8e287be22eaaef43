#include "app/deskforge/Machine.h"

#include "host/DryRunFiles.h"
#include "host/Nxregistry.h"
#include "host/Nxsystem.h"
#include "host/journal/Journal.h"
#include "host/machine/Machine.h"
#include "host/machine/Templates.h"
#include "host/registry/Patch.h"
#include "host/registry/Registry.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>

namespace ravelin::app {

std::string MachineFolder(const std::string& option, std::ostream& log) {
    if (!option.empty()) return option;
    if (const char* env = std::getenv("DESKFORGE_MACHINE"); env && *env) return env;
    constexpr const char* kDefaultTemplate = "winxp";
    std::string dir = GetAppDataDir(true, true) + "machines/" + kDefaultTemplate;
    if (!std::filesystem::exists(dir + "/system.reg")) {
        machine::createMachine(dir, kDefaultTemplate, machine::templatesFolder());
        log << "Created the sample machine " << dir << "\n";
    }
    return dir;
}

MachineSession::MachineSession(const std::string& dir, Mode mode) {
    machine_ = machine::Machine::open(dir);
    registry::Registry* reg = &machine_->registry();
    if (mode == Mode::ReadOnly && !journal::Journal::exists(dir)) {
        reg->setDryRun(true); // a read-only command writes nothing, not even a lock
    } else if (mode == Mode::DryRun) {
        // Nothing of the machine is touched: no lock, no journal, no file written.
        dryRun_ = std::make_unique<CollectingSink>();
        reg->setDryRun(true);
        reg->setChangeSink(dryRun_.get());
    } else {
        journal_ = journal::Journal::open(dir);
        reg->setChangeSink(journal_.get()); // so that recovery's flush is noted
        journal_->recover(*reg);
        SetCurrentJournal(journal_.get());
    }
    SetCurrentRegistry(reg);
    SetCurrentMachine(machine_.get());
}

registry::Registry& MachineSession::registry() {
    return machine_->registry();
}

MachineSession::~MachineSession() {
    SetCurrentMachine(nullptr);
    SetCurrentRegistry(nullptr);
    SetCurrentJournal(nullptr);
}

std::string MachineSession::dryRunPatch() const {
    registry::RegFileWriter writer;
    if (dryRun_) registry::writePatch(dryRun_->collected, writer);
    // Files a dry run would have changed follow as comments, by their Windows names.
    auto files = TakeDryRunFileChanges();
    for (auto& f : files)
        if (std::string win = machine_->files().windowsPath(f.path); !win.empty()) f.path = win;
    return writer.text() + DescribeDryRunFileChanges(files);
}

} // namespace ravelin::app
