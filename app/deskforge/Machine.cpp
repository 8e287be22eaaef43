#include "app/deskforge/Machine.h"

#include "host/Nxregistry.h"
#include "host/journal/Journal.h"
#include "host/registry/Patch.h"
#include "host/registry/Registry.h"

namespace ravelin::app {

MachineSession::MachineSession(const std::string& dir, bool dryRun) {
    registry_ = registry::Registry::openMachine(dir);
    if (dryRun) {
        // Nothing of the machine is touched: no lock, no journal, no file written.
        dryRun_ = std::make_unique<CollectingSink>();
        registry_->setDryRun(true);
        registry_->setChangeSink(dryRun_.get());
    } else {
        journal_ = journal::Journal::open(dir);
        registry_->setChangeSink(journal_.get()); // so that recovery's flush is noted
        journal_->recover(*registry_);
        SetCurrentJournal(journal_.get());
    }
    SetCurrentRegistry(registry_.get());
}

MachineSession::~MachineSession() {
    SetCurrentRegistry(nullptr);
    SetCurrentJournal(nullptr);
}

std::string MachineSession::dryRunPatch() const {
    registry::RegFileWriter writer;
    if (dryRun_) registry::writePatch(dryRun_->collected, writer);
    return writer.text();
}

} // namespace ravelin::app
