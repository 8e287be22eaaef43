// A machine opened for a command: its registry, its journal with crash recovery done,
// both bound for the host's registry and journal calls while the session lives.
#pragma once

#include "host/registry/Change.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace ravelin::registry {
class Registry;
}
namespace ravelin::journal {
class Journal;
}
namespace ravelin::machine {
class Machine;
}

namespace ravelin::app {

// The machine a front end works on: the folder given, else $DESKFORGE_MACHINE, else the
// bundled sample machine in the user's data folder, made on first use (reported to log).
std::string MachineFolder(const std::string& option, std::ostream& log);

// Collects the changes of a dry run instead of making them durable.
class CollectingSink final : public registry::ChangeSink {
  public:
    void record(const std::vector<registry::RegistryChange>& changes) override {
        collected.insert(collected.end(), changes.begin(), changes.end());
    }
    void flushed(const std::string&) override {}
    std::vector<registry::RegistryChange> collected;
};

// Points the pages at another Firefox root: the option given, else $DESKFORGE_FIREFOX_ROOT,
// else the machine's own. Throws RegistryAccessError when the folder does not exist.
void UseFirefoxRoot(const std::string& option);
// Edits another profile than the one Firefox starts with: the option given, else
// $DESKFORGE_FIREFOX_PROFILE. Throws RegistryAccessError when there is no such profile.
void UseFirefoxProfile(const std::string& option);

class MachineSession {
  public:
    // Throws RegistryAccessError / RegistryFormatError with a message for the user.
    //   Write: a command that changes the machine: it is locked before anything is read
    //     (a second writer waits a bounded time, then fails), recovery is completed, and
    //     the lock is held until the session ends.
    //   Interactive: the same, but the lock is given back whenever nothing is pending (a
    //     window that stays open); a write after another process changed the machine is
    //     refused.
    //   DryRun: changes are made in memory and collected; nothing is locked or written.
    //   ReadOnly: nothing is created, locked or written; committed journal changes that
    //     have not reached the files yet are shown, applied in memory.
    enum class Mode { Write, Interactive, DryRun, ReadOnly };
    MachineSession(const std::string& dir, Mode mode);
    MachineSession(const std::string& dir, bool dryRun)
        : MachineSession(dir, dryRun ? Mode::DryRun : Mode::Write) {}
    ~MachineSession();
    MachineSession(const MachineSession&) = delete;
    MachineSession& operator=(const MachineSession&) = delete;

    registry::Registry& registry();
    machine::Machine& machine() { return *machine_; }
    journal::Journal* journal() { return journal_.get(); }
    // The .reg patch of what a dry run would have changed, then a unified diff per file.
    std::string dryRunPatch() const;

  private:
    std::unique_ptr<machine::Machine> machine_;
    std::unique_ptr<journal::Journal> journal_;
    std::unique_ptr<CollectingSink> dryRun_;
};

} // namespace ravelin::app
